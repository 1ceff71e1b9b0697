"""Writes the sample-value tests: for every type a Fill function that builds
sample values through the generated setters and selectors, a Check function that
compares two values through the generated getters and tests, and one test per
type that encodes, decodes, compares and prints its samples.

Variants: a SEQUENCE has two (every optional field present, then none), a CHOICE
one per alternative, an ENUMERATED one per name.
"""

import asn1model as am
import strict
from cpp import member_name

INTEGERS = ['0', '-1', '127', '128', '-129', '65536', '2147483647', '(-2147483647 - 1)', '1000']
STRINGS = ['a', 'sample text', '0123456789', '~!?', 'x-y_z']


def encodable(t):
    """Values of an ENUMERATED the runtime can send: it encodes the number itself in 0..maximum,
    so a negative value (TERM::RadioStandby not-use) is refused by the encoder."""
    return [v for _, v in t.names if v >= 0]


def variants(t):
    if t.kind == 'SEQUENCE':
        return 2 if any(m.optional for m in t.members) else 1
    if t.kind == 'CHOICE':
        return len(t.members)
    return len(encodable(t))


class Samples:
    def __init__(self, mods, emitter):
        self.mods = mods
        self.em = emitter
        self.renames = strict.renames(mods)

    def target(self, ref):
        return am.target(self.mods, ref)

    def ctype(self, ref, owner=None, field=None):
        return self.em.cpp_type(ref, owner, field)

    def scalar(self, ref, seed):
        """A C++ value expression for a scalar member, or None for structured ones."""
        k = ref.kind
        if k == 'INTEGER':
            if ref.constrained():
                lo, hi = ref.lower, ref.upper
                v = [hi, lo, lo + (hi - lo) // 3][seed % 3]
                return '%d' % v if lo < 0 else '%du' % v
            return INTEGERS[seed % len(INTEGERS)]
        if k == 'BOOLEAN':
            return 'true' if seed % 2 == 0 else 'false'
        if k == 'IA5String':
            return 'std::string("%s")' % STRINGS[seed % len(STRINGS)]
        if k == 'OCTET STRING':
            return 'std::vector<char>{%s}' % ', '.join(str(x) for x in range(seed % 4 + 1))
        if k == 'ref':
            t = self.target(ref)
            if t.kind == 'ENUMERATED':
                vals = encodable(t)
                return '%s::NamedNumber(%d)' % (self.ctype(ref), vals[seed % len(vals)])
        return None

    def fill_into(self, ref, target, seed, owner=None, field=None):
        """Statements filling the object `target` (an lvalue reference expression)."""
        k = ref.kind
        if k == 'NULL':
            return ['(void)%s;' % target]
        if k == 'OBJECT IDENTIFIER':
            return ['{', '    auto& o = %s;' % target] + \
                   ['    o.append(%d);' % a for a in (1, 3, 6, 1, 4, 1, 99 + seed)] + ['}']
        if k in ('SEQUENCE OF', 'SET OF'):
            e = ref.element
            et = self.ctype(e)
            out = ['{', '    auto& l = %s;' % target]
            for n in range(2):
                out.append('    {')
                out.append('        %s e;' % et)
                out += ['        ' + s for s in self.fill_into(e, 'e', seed + n)]
                out.append('        l.push_back(e);')
                out.append('    }')
            return out + ['}']
        if k == 'ref' and self.target(ref).kind != 'ENUMERATED':
            return ['Fill(%s, %du);' % (target, seed)]
        v = self.scalar(ref, seed)
        if k == 'INTEGER' and ref.constrained() and ref.lower < 0:
            return ['%s.setValue(%s);' % (target, v)]
        return ['%s = %s;' % (target, v)]

    def is_structured(self, ref):
        return self.scalar(ref, 0) is None

    # Fill --------------------------------------------------------------------------------
    def fill(self, t):
        q = '%s::%s' % (t.module, t.name)
        out = ['void Fill(%s& x, unsigned variant) {' % q]
        if t.kind == 'ENUMERATED':
            vals = encodable(t)
            out += ['    static const int values[] = {%s};' % ', '.join(str(v) for v in vals),
                    '    x = %s::NamedNumber(values[variant %% %d]);' % (q, len(vals))]
        elif t.kind == 'SEQUENCE':
            if not any(m.optional for m in t.members):
                out.append('    (void)variant;')
            for i, m in enumerate(t.members):
                f = member_name(m.name)
                body = []
                if self.is_structured(m.ref):
                    body = self.fill_into(m.ref, 'x.set_%s()' % f, i, t, m.name)
                else:
                    v = self.scalar(m.ref, i)
                    body = ['x.set_%s(%s);' % (f, v)]
                if m.optional:
                    out.append('    if (variant == 0) {')
                    out += ['        ' + s for s in body]
                    out.append('    }')
                else:
                    out += ['    ' + s for s in body]
        else:
            out.append('    switch (variant %% %d) {' % len(t.members))
            for i, m in enumerate(t.members):
                a = member_name(m.name)
                tag = '%s::%s::id' % (q, self.em_nested(m.name, t.name))
                out.append('        case %d: {' % i)
                if self.is_structured(m.ref):
                    ct = self.ctype(m.ref, t, m.name)
                    if i % 2 == 0 and m.ref.kind != 'OBJECT IDENTIFIER':
                        # Through the selecting constructor.
                        out.append('            %s value;' % ct)
                        out += ['            ' + s for s in self.fill_into(m.ref, 'value', i, t, m.name)]
                        out.append('            x = %s(%s, value);' % (q, tag))
                    else:
                        out += ['            ' + s for s in
                                self.fill_into(m.ref, 'x.select_%s()' % a, i, t, m.name)]
                else:
                    v = self.scalar(m.ref, i)
                    if i % 2 == 0:
                        out.append('            x = %s(%s, %s);' % (q, tag, v))
                    else:
                        out.append('            x.select_%s(%s);' % (a, v))
                out.append('            break;')
                out.append('        }')
            out.append('    }')
        out.append('}')
        return out

    def em_nested(self, name, owner):
        from cpp import nested_name
        return nested_name(name, owner)

    # Check -------------------------------------------------------------------------------
    def check_member(self, ref, a, b):
        k = ref.kind
        if k in ('SEQUENCE OF', 'SET OF'):
            return 'CheckList(%s, %s);' % (a, b)
        if k == 'ref':
            return 'Check(%s, %s);' % (a, b)
        return 'CheckValue(%s, %s);' % (a, b)

    def check(self, t):
        q = '%s::%s' % (t.module, t.name)
        out = ['void Check(const %s& a, const %s& b) {' % (q, q),
               '    EXPECT_EQ(typeid(a), typeid(b)) << "%s";' % q]
        if t.kind == 'ENUMERATED':
            out.append('    EXPECT_EQ(static_cast<%s::NamedNumber>(a), static_cast<%s::NamedNumber>(b)) << "%s";' %
                       (q, q, q))
            for n, _ in t.names:
                out.append('    EXPECT_EQ(a.is_%s(), b.is_%s());' % (member_name(n), member_name(n)))
        elif t.kind == 'SEQUENCE':
            for m in t.members:
                f = member_name(m.name)
                c = self.check_member(m.ref, 'a.get_%s()' % f, 'b.get_%s()' % f)
                if m.optional:
                    out.append('    EXPECT_EQ(a.%s_isPresent(), b.%s_isPresent()) << "%s.%s";' %
                               (f, f, q, m.name))
                    out.append('    if (a.%s_isPresent() && b.%s_isPresent()) %s' % (f, f, c))
                else:
                    out.append('    ' + c)
        else:
            out.append('    EXPECT_EQ(a.currentSelection(), b.currentSelection()) << "%s";' % q)
            for m in t.members:
                f = member_name(m.name)
                c = self.check_member(m.ref, 'a.get_%s()' % f, 'b.get_%s()' % f)
                out.append('    EXPECT_EQ(a.%s_isSelected(), b.%s_isSelected());' % (f, f))
                out.append('    if (a.%s_isSelected() && b.%s_isSelected()) %s' % (f, f, c))
        out.append('}')
        return out

    # Files -------------------------------------------------------------------------------
    def header(self):
        out = ['// Generated by tools/asn1gen; do not edit.', '#pragma once', '',
               '#include <gtest/gtest.h>', '', '#include <ostream>', '#include <string>', '#include <typeinfo>',
               '#include <vector>', '']
        out += ['#include "protocol/%s.h"' % m for m in self.mods]
        out += ['', 'namespace Samples {', '',
                'template <class T>', 'void CheckValue(const T& a, const T& b) {',
                '    EXPECT_EQ(typeid(a), typeid(b));', '    EXPECT_EQ(static_cast<const ASN1::AbstractData&>(a).compare(b), 0);', '}', '',
                'inline void Check(const ASN1::INTEGER& a, const ASN1::INTEGER& b) { CheckValue(a, b); }',
                'inline void Check(const ASN1::IA5String& a, const ASN1::IA5String& b) { CheckValue(a, b); }',
                '']
        for mod in self.mods.values():
            for t in mod.types:
                q = '%s::%s' % (mod.name, t.name)
                out.append('void Fill(%s& x, unsigned variant);' % q)
                out.append('void Check(const %s& a, const %s& b);' % (q, q))
        out += ['', 'template <class L>', 'void CheckList(const L& a, const L& b) {',
                '    ASSERT_EQ(a.size(), b.size());',
                '    for (std::size_t i = 0; i < a.size(); ++i) Check(a[i], b[i]);', '}', '']
        out += ['void Dump_%s(std::ostream& os);' % m for m in self.mods]
        out += ['', '}  // namespace Samples', '']
        return '\n'.join(out)

    def source(self, mod):
        out = ['// Generated by tools/asn1gen; do not edit.',
               '#include "protocol/samples/samples.h"', '#include "tests/protocol/sample_harness.h"', '',
               'namespace Samples {', '']
        for t in mod.types:
            out += self.fill(t) + [''] + self.check(t) + ['']
        out += ['}  // namespace Samples', '', 'namespace {', '']
        for t in mod.types:
            out.append('TEST(%sSamples, %s) { Samples::RoundTrip<%s::%s>(%d); }' %
                       (mod.name, t.name, mod.name, t.name, variants(t)))
        if mod.name == next(iter(self.mods)):
            out += [''] + self.list_records()
        out += ['', '}  // namespace', '', 'namespace Samples {', '',
                '// Each sample\'s encoding, by the type\'s name in the strict modules.',
                'void Dump_%s(std::ostream& os) {' % mod.name]
        for t in mod.types:
            out.append('    Dump<%s::%s>(os, "%s", "%s", %d);' %
                       (mod.name, t.name, mod.name, self.renames[mod.name].get(t.name, t.name),
                        variants(t)))
        out += ['}', '', '}  // namespace Samples', '']
        return '\n'.join(out)

    def list_records(self):
        """Every SEQUENCE OF and SET OF record: create word set, tag and element record."""
        recs = sorted(am.seq_of_records(self.mods).items())
        out = ['// %d list records, each usable before main.' % len(recs),
               'TEST(ListRecords, CreateWordsTagsAndElements) {']
        for _, r in recs:
            c = self.ctype(r)
            out.append('    EXPECT_NE((%s::theInfo.create), nullptr);' % c)
            out.append('    EXPECT_EQ((%s::theInfo.tag), %du);' % (c, 17 if r.kind == 'SET OF' else 16))
            out.append('    EXPECT_EQ((%s::theInfo.elementInfo), &%s::theInfo);' % (c, self.ctype(r.element)))
        out.append('}')
        return out

    def dump_main(self):
        out = ['// Generated by tools/asn1gen; do not edit.', '#include <fstream>', '',
               '#include "protocol/samples/samples.h"', '',
               '// Writes "module type hex" per sample into the file named by the argument.',
               'int main(int argc, char** argv) {', '    if (argc != 2) return 2;',
               '    std::ofstream os(argv[1]);']
        out += ['    Samples::Dump_%s(os);' % m for m in self.mods]
        out += ['    return os ? 0 : 1;', '}', '']
        return '\n'.join(out)
