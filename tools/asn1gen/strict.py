"""Writes the modules in strict X.680 form for an independent compiler.

Our modules keep the names as the protocol spells them, and some ENUMERATEDs
carry numbers that X.680 ENUMERATED cannot express with the same encoding
(gaps, repeats, negative values). Our coder encodes an ENUMERATED as its
number in 0..maximum, so such a type is written as INTEGER (0..maximum), with
an extension marker when the type is extendable. An ENUMERATED numbered
0..n-1 in order stays ENUMERATED: X.691 encodes its index, which is then the
number. Names that X.680 refuses ("_", a leading capital in an identifier)
are renamed the same way wherever they occur.
"""

import re


def x680_name(name, upper):
    n = name.replace('_', '-')
    n = re.sub('-+', '-', n).strip('-')
    if upper:
        n = n[0].upper() + n[1:]
    else:
        n = n[0].lower() + n[1:]
    return n


def renames(mods):
    """{module: {original: strict}} for every name that changes; refuses two
    names that map onto one."""
    out = {}
    for mod in mods.values():
        table = {}
        seen = {}
        for t in mod.types:
            s = x680_name(t.name, True)
            if s in seen and seen[s] != t.name:
                raise ValueError('%s: %s and %s both become %s' % (mod.name, t.name, seen[s], s))
            seen[s] = t.name
            if s != t.name:
                table[t.name] = s
        out[mod.name] = table
    return out


def numbered(t):
    return [v for _, v in t.names] != list(range(len(t.names)))


def write_ref(ref, mods, ren):
    if ref.kind == 'ref':
        return ren[ref.module].get(ref.name, ref.name)
    if ref.element is not None:
        return '%s %s' % (ref.kind, write_ref(ref.element, mods, ren))
    if ref.kind == 'INTEGER' and ref.constrained():
        return 'INTEGER (%d..%d)' % (ref.lower, ref.upper)
    if ref.kind == 'IA5String' and ref.constrained():
        return 'IA5String (SIZE(%d..%d))' % (ref.lower, ref.upper)
    return ref.kind


def write_module(mod, mods, ren):
    out = ['%s DEFINITIONS AUTOMATIC TAGS ::= BEGIN' % mod.name, '']
    if mod.imports:
        out.append('IMPORTS')
        by_src = {}
        for n, src in mod.imports.items():
            by_src.setdefault(src, []).append(ren[src].get(n, n))
        for src, names in by_src.items():
            out.append('    %s FROM %s' % (', '.join(sorted(names)), src))
        out.append(';')
        out.append('')
    for t in mod.types:
        name = ren[mod.name].get(t.name, t.name)
        if t.kind == 'ENUMERATED':
            if numbered(t):
                ext = ', ...' if t.extendable else ''
                out.append('%s ::= INTEGER (0..%d%s)' % (name, max(0, t.max_value()), ext))
            else:
                items = ['%s(%d)' % (x680_name(n, False), v) for n, v in t.names]
                if t.extendable:
                    items.append('...')
                out.append('%s ::= ENUMERATED { %s }' % (name, ', '.join(items)))
            out.append('')
            continue
        items = ['%s %s%s' % (x680_name(m.name, False), write_ref(m.ref, mods, ren),
                              ' OPTIONAL' if m.optional else '') for m in t.root()]
        if t.extendable:
            items.append('...')
            items += ['%s %s%s' % (x680_name(m.name, False), write_ref(m.ref, mods, ren),
                                   ' OPTIONAL' if m.optional else '') for m in t.additions()]
        out.append('%s ::= %s {\n    %s\n}' % (name, t.kind, ',\n    '.join(items)))
        out.append('')
    out.append('END')
    return '\n'.join(out) + '\n'
