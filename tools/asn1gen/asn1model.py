"""Reads the message modules (protocol/asn/*.asn) into a small type model.

The modules are ASN.1 with AUTOMATIC TAGS in the subset the control protocol
uses: SEQUENCE, CHOICE, ENUMERATED with explicit numbers, SEQUENCE OF, SET OF,
INTEGER with an optional range, BOOLEAN, NULL, OCTET STRING, IA5String with an
optional SIZE, OBJECT IDENTIFIER, and references to types of this or an
imported module. Names are kept exactly as written, "_" included.
"""

import os
import re

BUILTINS = {
    'INTEGER', 'BOOLEAN', 'NULL', 'OCTET STRING', 'IA5String', 'OBJECT IDENTIFIER'
}


class AsnError(Exception):
    pass


class Ref:
    """The type of a field or alternative."""

    def __init__(self, kind, name=None, module=None, lower=None, upper=None,
                 element=None):
        self.kind = kind  # builtin name, 'ref', 'SEQUENCE OF', 'SET OF'
        self.name = name  # referenced type name
        self.module = module  # module of a referenced type (after resolve)
        self.lower = lower  # INTEGER range / IA5String size
        self.upper = upper
        self.element = element  # Ref of a SEQUENCE OF / SET OF element

    def constrained(self):
        return self.lower is not None

    def __repr__(self):
        if self.kind == 'ref':
            return '%s.%s' % (self.module, self.name)
        if self.element is not None:
            return '%s %r' % (self.kind, self.element)
        if self.constrained():
            return '%s (%d..%d)' % (self.kind, self.lower, self.upper)
        return self.kind


class Member:
    def __init__(self, name, ref, optional, extension):
        self.name = name
        self.ref = ref
        self.optional = optional
        self.extension = extension  # an extension addition
        self.opt_index = -1  # optional-bit index of a root field


class Type:
    def __init__(self, module, name, kind):
        self.module = module
        self.name = name
        self.kind = kind  # 'SEQUENCE', 'CHOICE', 'ENUMERATED'
        self.extendable = False
        self.members = []  # SEQUENCE fields, CHOICE alternatives
        self.names = []  # ENUMERATED (name, value) in definition order

    @property
    def qname(self):
        return '%s::%s' % (self.module, self.name)

    def root(self):
        return [m for m in self.members if not m.extension]

    def additions(self):
        return [m for m in self.members if m.extension]

    def optional_count(self):
        return sum(1 for m in self.root() if m.optional)

    def max_value(self):
        return max(v for _, v in self.names)

    def name_table(self):
        """Name strings: a value other than the previous plus one (0 first) is
        written after an equals sign."""
        out = []
        expect = 0
        for n, v in self.names:
            out.append(n if v == expect else '%s=%d' % (n, v))
            expect = v + 1
        return out

    def first_name_of(self, value):
        for n, v in self.names:
            if v == value:
                return n
        return None


class Module:
    def __init__(self, name):
        self.name = name
        self.imports = {}  # type name -> module name
        self.types = []
        self.by_name = {}


TOKEN = re.compile(r'\s*(::=|\.\.\.|\.\.|[{}(),;]|-?\d+|[A-Za-z][A-Za-z0-9_-]*)')


def tokenize(text, path):
    text = re.sub(r'--.*', '', text)
    pos = 0
    out = []
    while True:
        while pos < len(text) and text[pos].isspace():
            pos += 1
        if pos >= len(text):
            return out
        m = TOKEN.match(text, pos)
        if not m:
            line = text.count('\n', 0, pos) + 1
            raise AsnError('%s:%d: cannot read "%s"' % (path, line, text[pos:pos + 20]))
        out.append(m.group(1))
        pos = m.end()


class Parser:
    def __init__(self, tokens, path):
        self.t = tokens
        self.i = 0
        self.path = path

    def peek(self, k=0):
        return self.t[self.i + k] if self.i + k < len(self.t) else None

    def take(self, want=None):
        tok = self.peek()
        if tok is None or (want is not None and tok != want):
            raise AsnError('%s: expected %s, found %s near token %d' %
                           (self.path, want, tok, self.i))
        self.i += 1
        return tok

    def module(self):
        mod = Module(self.take())
        for w in ('DEFINITIONS', 'AUTOMATIC', 'TAGS', '::=', 'BEGIN'):
            self.take(w)
        if self.peek() == 'IMPORTS':
            self.take()
            names = []
            while self.peek() != ';':
                tok = self.take()
                if tok == ',':
                    continue
                if tok == 'FROM':
                    src = self.take()
                    for n in names:
                        mod.imports[n] = src
                    names = []
                else:
                    names.append(tok)
            self.take(';')
            if names:
                raise AsnError('%s: IMPORTS without FROM' % self.path)
        while self.peek() != 'END':
            name = self.take()
            self.take('::=')
            kind = self.take()
            t = Type(mod.name, name, kind)
            if kind == 'ENUMERATED':
                self.enumerated(t)
            elif kind in ('SEQUENCE', 'CHOICE'):
                self.members(t)
            else:
                raise AsnError('%s: %s: unsupported kind %s' % (self.path, name, kind))
            if name in mod.by_name:
                raise AsnError('%s: %s defined twice' % (self.path, name))
            mod.types.append(t)
            mod.by_name[name] = t
        self.take('END')
        return mod

    def enumerated(self, t):
        self.take('{')
        while True:
            if self.peek() == '...':
                self.take()
                t.extendable = True
            else:
                n = self.take()
                self.take('(')
                v = int(self.take())
                self.take(')')
                if any(n == x for x, _ in t.names):
                    raise AsnError('%s: %s: name %s twice' % (self.path, t.name, n))
                t.names.append((n, v))
            if self.take() == '}':
                return

    def members(self, t):
        self.take('{')
        in_ext = False
        while True:
            if self.peek() == '...':
                self.take()
                if t.extendable:
                    raise AsnError('%s: %s: two extension markers' % (self.path, t.name))
                t.extendable = True
                in_ext = True
            else:
                n = self.take()
                ref = self.typeref()
                opt = False
                if self.peek() == 'OPTIONAL':
                    self.take()
                    opt = True
                t.members.append(Member(n, ref, opt, in_ext))
            if self.take() == '}':
                return

    def range(self):
        self.take('(')
        lo = int(self.take())
        self.take('..')
        hi = int(self.take())
        self.take(')')
        return lo, hi

    def typeref(self):
        tok = self.take()
        if tok in ('SEQUENCE', 'SET'):
            self.take('OF')
            return Ref(tok + ' OF', element=self.typeref())
        if tok == 'OCTET':
            self.take('STRING')
            return Ref('OCTET STRING')
        if tok == 'OBJECT':
            self.take('IDENTIFIER')
            return Ref('OBJECT IDENTIFIER')
        if tok == 'INTEGER':
            r = Ref('INTEGER')
            if self.peek() == '(':
                r.lower, r.upper = self.range()
            return r
        if tok == 'IA5String':
            r = Ref('IA5String')
            if self.peek() == '(':
                self.take('(')
                self.take('SIZE')
                r.lower, r.upper = self.range()
                self.take(')')
            return r
        if tok in ('BOOLEAN', 'NULL'):
            return Ref(tok)
        if not tok[0].isupper():
            raise AsnError('%s: bad type %s' % (self.path, tok))
        return Ref('ref', name=tok)


MODULE_ORDER = ['LGCP', 'TERM', 'ACP', 'BASE', 'HSP', 'MON', 'LEMZGW', 'CCP', 'MEDIA']


def load(directory):
    mods = {}
    for name in MODULE_ORDER:
        path = os.path.join(directory, name + '.asn')
        with open(path) as f:
            mod = Parser(tokenize(f.read(), path), path).module()
        if mod.name != name:
            raise AsnError('%s: module is named %s' % (path, mod.name))
        mods[name] = mod
    resolve(mods)
    return mods


def walk_refs(ref):
    yield ref
    if ref.element is not None:
        yield from walk_refs(ref.element)


def resolve(mods):
    for mod in mods.values():
        for n, src in mod.imports.items():
            if src not in mods or n not in mods[src].by_name:
                raise AsnError('%s imports %s from %s, which has no such type' % (mod.name, n, src))
        used = set()
        for t in mod.types:
            for m in t.members:
                for r in walk_refs(m.ref):
                    if r.kind != 'ref':
                        continue
                    if r.name in mod.by_name:
                        r.module = mod.name
                    elif r.name in mod.imports:
                        r.module = mod.imports[r.name]
                        used.add(r.name)
                    else:
                        raise AsnError('%s::%s.%s refers to unknown type %s' %
                                       (mod.name, t.name, m.name, r.name))
        unused = set(mod.imports) - used
        if unused:
            raise AsnError('%s imports unused types %s' % (mod.name, sorted(unused)))
        for t in mod.types:
            k = 0
            for m in t.root():
                if m.optional and t.kind == 'SEQUENCE':
                    m.opt_index = k
                    k += 1


def target(mods, ref):
    return mods[ref.module].by_name[ref.name]


def seq_of_records(mods):
    """Distinct SEQUENCE OF / SET OF records, keyed by (kind, element key)."""
    out = {}
    for mod in mods.values():
        for t in mod.types:
            for m in t.members:
                for r in walk_refs(m.ref):
                    if r.element is not None:
                        out.setdefault(record_key(r), r)
    return out


def record_key(r):
    e = r.element
    ek = '%s::%s' % (e.module, e.name) if e.kind == 'ref' else repr(e)
    return (r.kind, ek)


def reached_seq_of(mods, roots):
    """SEQUENCE OF records reachable from the given types."""
    seen = set()
    found = {}
    stack = list(roots)
    while stack:
        t = stack.pop()
        if t.qname in seen:
            continue
        seen.add(t.qname)
        for m in t.members:
            for r in walk_refs(m.ref):
                if r.element is not None:
                    found.setdefault(record_key(r), r)
                if r.kind == 'ref':
                    stack.append(target(mods, r))
    return found
