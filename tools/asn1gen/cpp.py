"""Writes one C++ header and source per message module.

The header holds the thin accessor classes (one per SEQUENCE, CHOICE and
ENUMERATED, derived from the runtime class of its kind, no data of their own),
the source the constant info records and name tables. Every record is
constant-initialised, SEQUENCE OF records included (the runtime template carries
its create word), so no start-up order matters.
"""

import asn1model as am

KEYWORDS = set('''
alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t char16_t
char32_t class compl concept const consteval constexpr constinit const_cast continue co_await
co_return co_yield decltype default delete do double dynamic_cast else enum explicit export
extern false float for friend goto if inline int long mutable namespace new noexcept not not_eq
nullptr operator or or_eq private protected public register reinterpret_cast requires return
short signed sizeof static static_assert static_cast struct switch template this thread_local
throw true try typedef typeid typename union unsigned using virtual void volatile wchar_t while
xor xor_eq
'''.split())

# Names a nested enumerator or tag type must not take: base-class members the
# accessors call, the records' own names and common C library macros.
RESERVED = KEYWORDS | set('''
NamedNumber theInfo fieldInfos fieldIds fieldNames selectionInfos selectionNames create info
record clone compare accept swap select setSelection getSelection currentSelection asInt
setFromInt getField includeOptionalField removeOptionalField hasOptionalField extendable
value_type id Id major minor assert errno unix linux EOF NULL stdin stdout stderr
'''.split())


def member_name(name):
    """Accessor stem of a field or alternative: "-" becomes "_"."""
    return name.replace('-', '_')


def nested_name(name, owner):
    """Enumerator or nested tag type name, kept clear of keywords and base members."""
    n = member_name(name)
    if n in RESERVED or n == owner:
        n += '_'
    return n


class Emitter:
    def __init__(self, mods):
        self.mods = mods

    def target(self, ref):
        return am.target(self.mods, ref)

    def cpp_type(self, ref, owner=None, field=None):
        k = ref.kind
        if k == 'ref':
            return '::%s::%s' % (ref.module, ref.name)
        if k == 'INTEGER':
            if ref.constrained():
                return 'ASN1::Constrained_INTEGER<ASN1::FixedConstraint, %d, %du>' % (ref.lower,
                                                                                       ref.upper)
            return 'ASN1::INTEGER'
        if k == 'IA5String':
            if ref.constrained():
                return '::%s::%s::%s::value_type' % (owner.module, owner.name,
                                                   nested_name(field, owner.name))
            return 'ASN1::IA5String'
        if k in ('SEQUENCE OF', 'SET OF'):
            tmpl = 'SEQUENCE_OF' if k == 'SEQUENCE OF' else 'SET_OF'
            return 'ASN1::%s<%s, ASN1::EmptyConstraint>' % (tmpl, self.cpp_type(ref.element))
        return {
            'BOOLEAN': 'ASN1::BOOLEAN',
            'NULL': 'ASN1::Null',
            'OCTET STRING': 'ASN1::OCTET_STRING',
            'OBJECT IDENTIFIER': 'ASN1::OBJECT_IDENTIFIER',
        }[k]

    def value_param(self, ref, ctype):
        """Parameter type of a value setter, or None for structured members."""
        k = ref.kind
        if k == 'INTEGER':
            if ref.constrained() and ref.lower >= 0:
                return 'unsigned int'
            return 'int'
        if k == 'BOOLEAN':
            return 'bool'
        if k == 'IA5String':
            return 'const std::string&'
        if k == 'OCTET STRING':
            return 'const std::vector<char>&'
        if k == 'ref' and self.target(ref).kind == 'ENUMERATED':
            return ctype + '::NamedNumber'
        return 'const %s&' % ctype

    @staticmethod
    def assign(ref, target, value):
        if ref.kind == 'INTEGER' and ref.constrained() and ref.lower < 0:
            return '%s.setValue(%s)' % (target, value)
        return '%s = %s' % (target, value)

    # Class order: a class's accessors need the classes of its members complete.
    def ordered(self, mod):
        done = set()
        out = []

        def visit(t):
            if t.name in done:
                return
            done.add(t.name)
            for m in t.members:
                for r in am.walk_refs(m.ref):
                    if r.kind == 'ref' and r.module == mod.name:
                        visit(mod.by_name[r.name])
            out.append(t)

        for t in mod.types:
            visit(t)
        return out

    def element_types(self):
        out = set()
        for mod in self.mods.values():
            for t in mod.types:
                for m in t.members:
                    for r in am.walk_refs(m.ref):
                        if r.element is not None and r.element.kind == 'ref':
                            out.add((r.element.module, r.element.name))
        return out

    # Header ------------------------------------------------------------------------------
    def header(self, mod):
        deps = sorted(set(mod.imports.values()))
        out = ['// Generated from protocol/asn/%s.asn by tools/asn1gen; do not edit.' % mod.name,
               '#pragma once', '', '#include <string>', '#include <vector>', '',
               '#include "protocol/message_access.h"']
        out += ['#include "protocol/%s.h"' % d for d in deps]
        out += ['', 'namespace %s {' % mod.name, '']
        elements = self.element_types()
        for t in self.ordered(mod):
            out += getattr(self, 'class_' + t.kind.lower())(t, (mod.name, t.name) in elements)
            out.append('')
        out += ['}  // namespace %s' % mod.name, '']
        return '\n'.join(out)

    def class_enumerated(self, t, _element):
        out = ['class %s : public ASN1::ENUMERATED {' % t.name, 'public:']
        names = ['%s = %d' % (nested_name(n, t.name), v) for n, v in t.names]
        out.append('    enum NamedNumber : int { %s };' % ', '.join(names))
        out += [
            '    static const InfoType theInfo;',
            '    %s() : ENUMERATED(&theInfo) {}' % t.name,
            '    %s(NamedNumber v) : ENUMERATED(&theInfo) { setFromInt(v); }' % t.name,
            '    %s& operator=(NamedNumber v) {' % t.name,
            '        setFromInt(v);',
            '        return *this;',
            '    }',
            '    operator NamedNumber() const { return static_cast<NamedNumber>(asInt()); }',
            '    bool operator==(NamedNumber v) const { return asInt() == v; }',
            '    bool operator!=(NamedNumber v) const { return asInt() != v; }',
            '    bool operator==(const %s& o) const { return asInt() == o.asInt(); }' % t.name,
            '    bool operator!=(const %s& o) const { return asInt() != o.asInt(); }' % t.name,
            '    using AbstractData::operator==;',
            '    using AbstractData::operator!=;',
        ]
        for n, _ in t.names:
            e = nested_name(n, t.name)
            out.append('    void set_%s() { setFromInt(%s); }' % (member_name(n), e))
            out.append('    bool is_%s() const { return asInt() == %s; }' % (member_name(n), e))
        out.append('};')
        return out

    def class_sequence(self, t, element):
        out = ['class %s : public ASN1::SEQUENCE {' % t.name, 'public:']
        for i, m in enumerate(t.members):
            if m.ref.kind == 'IA5String' and m.ref.constrained():
                out += [
                    '    struct %s {' % nested_name(m.name, t.name),
                    '        class value_type : public ASN1::IA5String {',
                    '        public:',
                    '            static const ASN1::AbstractString::InfoType theInfo;',
                    '            explicit value_type(const void* info = &theInfo) : IA5String(info) {}',
                    '            using IA5String::operator=;',
                    '        };',
                    '    };',
                ]
        out.append('    static const InfoType theInfo;')
        if t.members:
            out += ['    static const void* const fieldInfos[];', '    static const int fieldIds[];',
                    '    static const char* const fieldNames[];']
        out += ['', '    %s() : SEQUENCE(&theInfo) {}' % t.name]
        if element:
            out.append('    %s* clone() const { return static_cast<%s*>(AbstractData::clone()); }' %
                       (t.name, t.name))
        ext_bit = t.optional_count()
        for i, m in enumerate(t.members):
            f = member_name(m.name)
            c = self.cpp_type(m.ref, t, m.name)
            if m.extension:
                k = ext_bit
                ext_bit += 1
            else:
                k = m.opt_index
            optional = m.optional
            p = self.value_param(m.ref, c)
            out.append('')
            out.append('    const %s& get_%s() const { return MessageAccess::Get<%s>(*this, %d, %d); }' %
                       (c, f, c, i, k if optional else -1))
            slot = ('MessageAccess::Include<%s>(*this, %d, %d)' % (c, k, i) if optional else
                    'MessageAccess::Mandatory<%s>(*this, %d)' % (c, i))
            out.append('    void set_%s(%s v) { %s; }' % (f, p, self.assign(m.ref, slot, 'v')))
            structured = m.ref.kind in ('ref', 'SEQUENCE OF', 'SET OF', 'OBJECT IDENTIFIER', 'NULL') \
                and not (m.ref.kind == 'ref' and self.target(m.ref).kind == 'ENUMERATED')
            if structured:
                out.append('    %s& set_%s() { return %s; }' % (c, f, slot))
            if optional:
                out.append('    %s& ref_%s() { return MessageAccess::Ref<%s>(*this, %d, %d); }' % (c, f, c, k, i))
                out.append('    void omit_%s() { removeOptionalField(%d); }' % (f, k))
                out.append('    bool %s_isPresent() const { return hasOptionalField(%d); }' % (f, k))
            else:
                out.append('    %s& ref_%s() { return %s; }' % (c, f, slot))
        out.append('};')
        return out

    def class_choice(self, t, element):
        out = ['class %s : public ASN1::CHOICE {' % t.name, 'public:']
        for i, m in enumerate(t.members):
            out.append('    struct %s {' % nested_name(m.name, t.name))
            out.append('        enum Id { id = %d };' % i)
            out.append('    };')
        out += ['    static const InfoType theInfo;', '    static const void* const selectionInfos[];',
                '    static const char* const selectionNames[];', '',
                '    %s() : CHOICE(&theInfo) {}' % t.name]
        if element:
            out.append('    %s* clone() const { return static_cast<%s*>(AbstractData::clone()); }' %
                       (t.name, t.name))
        for i, m in enumerate(t.members):
            a = member_name(m.name)
            tag = nested_name(m.name, t.name)
            c = self.cpp_type(m.ref, t, m.name)
            p = self.value_param(m.ref, c)
            out.append('')
            out.append('    %s(%s::Id, %s v) : CHOICE(&theInfo) { select_%s(v); }' % (t.name, tag, p, a))
            out.append('    %s& select_%s() { return MessageAccess::Select<%s>(*this, %d); }' % (c, a, c, i))
            out.append('    void select_%s(%s v) { %s; }' % (a, p, self.assign(m.ref, 'select_%s()' % a, 'v')))
            out.append('    bool %s_isSelected() const { return currentSelection() == %d; }' % (a, i))
            out.append('    const %s& get_%s() const { return MessageAccess::Selected<%s>(*this, %d); }' %
                       (c, a, c, i))
            out.append('    %s& ref_%s() { return MessageAccess::RefSelected<%s>(*this, %d); }' % (c, a, c, i))
        out.append('};')
        return out

    # Source ------------------------------------------------------------------------------
    def source(self, mod):
        out = ['// Generated from protocol/asn/%s.asn by tools/asn1gen; do not edit.' % mod.name,
               '#include "protocol/%s.h"' % mod.name, '', 'namespace %s {' % mod.name, '',
               'using ASN1::create_as;', '']
        enums = [t for t in mod.types if t.kind == 'ENUMERATED']
        if enums:
            out.append('namespace {')
            for t in enums:
                out.append('constexpr const char* %s_enum_names__[] = {%s};' %
                           (t.name, ', '.join('"%s"' % n for n in t.name_table())))
            out += ['}  // namespace', '']
        for t in mod.types:
            out += getattr(self, 'record_' + t.kind.lower())(t)
        out += ['', '}  // namespace %s' % mod.name, '']
        return '\n'.join(out)

    def record_enumerated(self, t):
        return ['constinit const ASN1::ENUMERATED::InfoType %s::theInfo =' % t.name,
                '    ASN1::ENUMERATED::makeInfo(&create_as<%s>, %s, %s_enum_names__);' %
                (t.name, cbool(t.extendable), t.name),
                'static_assert(sizeof(%s) == sizeof(ASN1::ENUMERATED));' % t.name, '']

    def record_sequence(self, t):
        out = []
        for m in t.members:
            if m.ref.kind == 'IA5String' and m.ref.constrained():
                out.append('constinit const ASN1::AbstractString::InfoType %s::%s::value_type::theInfo{' %
                           (t.name, nested_name(m.name, t.name)))
                out.append('    {{&create_as<%s::%s::value_type>, 22}, ASN1::FixedConstraint, %d, %du},' %
                           (t.name, nested_name(m.name, t.name), m.ref.lower, m.ref.upper))
                out.append('    ASN1::IA5StringSet, 128, 7, 7, 8};')
        n = len(t.members)
        if n:
            ids = []
            for m in t.members:
                ids.append(str(0 if m.extension else m.opt_index))
            out.append('constinit const void* const %s::fieldInfos[] = {%s};' %
                       (t.name, ', '.join('&%s::theInfo' % self.cpp_type(m.ref, t, m.name)
                                          for m in t.members)))
            out.append('constinit const int %s::fieldIds[] = {%s};' % (t.name, ', '.join(ids)))
            out.append('constinit const char* const %s::fieldNames[] = {%s};' %
                       (t.name, ', '.join('"%s"' % m.name for m in t.members)))
        arrays = ('fieldInfos', 'fieldIds') if n else ('nullptr', 'nullptr')
        out.append('constinit const ASN1::SEQUENCE::InfoType %s::theInfo{' % t.name)
        out.append('    {&create_as<%s>, 16}, %s, %s, %s, %d, %d, %d, nullptr, nullptr, %s};' %
                   (t.name, cbool(t.extendable), arrays[0], arrays[1], len(t.root()),
                    len(t.additions()), t.optional_count(), 'fieldNames' if n else 'nullptr'))
        out.append('static_assert(sizeof(%s) == sizeof(ASN1::SEQUENCE));' % t.name)
        out.append('')
        return out

    def record_choice(self, t):
        return [
            'constinit const void* const %s::selectionInfos[] = {%s};' %
            (t.name, ', '.join('&%s::theInfo' % self.cpp_type(m.ref, t, m.name) for m in t.members)),
            'constinit const char* const %s::selectionNames[] = {%s};' %
            (t.name, ', '.join('"%s"' % m.name for m in t.members)),
            'constinit const ASN1::CHOICE::InfoType %s::theInfo{' % t.name,
            '    {&create_as<%s>, 0}, %s, selectionInfos, %d, %d, nullptr, selectionNames};' %
            (t.name, cbool(t.extendable), len(t.root()), len(t.members)),
            'static_assert(sizeof(%s) == sizeof(ASN1::CHOICE));' % t.name,
            '',
        ]


def cbool(b):
    return 'true' if b else 'false'
