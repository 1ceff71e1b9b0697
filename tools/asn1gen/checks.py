"""What the generated records must hold; a mismatch fails the build."""

import asn1model as am

RECORDS = {'LGCP': 106, 'TERM': 155, 'ACP': 42, 'BASE': 3, 'HSP': 21, 'MON': 19,
           'LEMZGW': 138, 'CCP': 2, 'MEDIA': 11}

KINDS = {  # kind: (records, extendable)
    'SEQUENCE': (282, 211),
    'CHOICE': (108, 78),
    'ENUMERATED': (106, 65),
}

RANGES = {(0, 1), (0, 3), (0, 7), (0, 15), (0, 31), (0, 63), (0, 127), (0, 255),
          (0, 511), (0, 1023), (0, 2047), (0, 4095), (0, 65535), (0, 4294967295),
          (1, 3), (1, 21), (1, 50), (1, 255), (2, 50), (20, 1000), (-128, 127),
          (112000, 399975)}

SEQ_OF_RECORDS = 33
LGCP_SEQ_OF_RECORDS = 30

# Types with known extension additions, and how many.
ADDITIONS = {'TERM::ISDN_NumberType': 1, 'TERM::TermParams': 13, 'ACP::AcpResponse': 7,
             'ACP::AcpCommand': 11, 'LGCP::TonecCode': 1}

# (root count, total count) of the CHOICEs whose counts the envelope relies on.
CHOICE_COUNTS = {
    'LGCP::Response': (2, 2), 'LGCP::PDU': (3, 3), 'LGCP::Signal': (23, 23),
    'LGCP::Command': (15, 15), 'LGCP::CreateParams': (19, 19),
    'LGCP::IoctlParams': (38, 38), 'LGCP::IoctlResponse': (9, 9),
    'LGCP::TonecCode': (6, 7), 'LGCP::DisplayParams': (7, 7),
    'ACP::AcpResponse': (2, 9), 'ACP::AcpCommand': (6, 17),
    'LEMZGW::ProtoLemzPacketPayload': (64, 64), 'MON::PDU': (3, 3),
    'MON::Command': (4, 4), 'MEDIA::MediaResponse': (4, 4),
}

# Optional-bit indexes that users of the records rely on.
OPT_INDEXES = {
    'LGCP::Message': {'seq': 0, 'slot': 1, 'pdu': -1},
    'TERM::RtpParams': {'payload': -1, 'dhost': -1, 'shost': 0, 'dname': 1, 'qos-dscp': 11},
    'LGCP::Resources': {'drvVersion': 0, 'boardMajor': -1},
    'MON::SnmpTrapsink': {'host': -1, 'port': 0},
}

ENUM_MAX = {'LGCP::ErrorCause': 12, 'TERM::IpQoSDSCP': 56, 'HSP::StandbyState': 16,
            'LEMZGW::ProtoLemzPacketP1ClientCommand': 4103, 'LEMZGW::ProtoLemzMsgID': 13056,
            'TERM::TermErrorCode': 38, 'TERM::ED137CauseCode': 2099,
            'LEMZGW::ProtoLemzAnalogGainIDV1': 255}

NAME_TABLES = {
    'HSP::StandbyState': ['initial', 'learn', 'listen', 'speak=4', 'standby=8', 'active=16'],
    'TERM::RadioStandby': ['not-use=-1', 'active', 'standby'],
}


def count_records(mods):
    """Info records per module: every named type plus each size-constrained
    IA5String field (a nested class of its own)."""
    out = {}
    for name, mod in mods.items():
        n = len(mod.types)
        for t in mod.types:
            for m in t.members:
                if m.ref.kind == 'IA5String' and m.ref.constrained():
                    n += 1
        out[name] = n
    return out


def ranges(mods):
    found = set()
    for mod in mods.values():
        for t in mod.types:
            for m in t.members:
                for r in am.walk_refs(m.ref):
                    if r.kind == 'INTEGER' and r.constrained():
                        found.add((r.lower, r.upper))
    return found


def all_types(mods):
    for mod in mods.values():
        yield from mod.types


def run(mods):
    errors = []

    def expect(what, got, want):
        if got != want:
            errors.append('%s: %s, expected %s' % (what, got, want))

    for name, n in count_records(mods).items():
        expect('%s info records' % name, n, RECORDS[name])
    for kind, (n, ext) in KINDS.items():
        ts = [t for t in all_types(mods) if t.kind == kind]
        expect('%s records' % kind, len(ts), n)
        expect('extendable %s records' % kind, sum(1 for t in ts if t.extendable), ext)
    constrained_strings = sum(1 for t in all_types(mods) for m in t.members
                              if m.ref.kind == 'IA5String' and m.ref.constrained())
    expect('constrained IA5String records', constrained_strings, 1)
    expect('SEQUENCE OF / SET OF records', len(am.seq_of_records(mods)), SEQ_OF_RECORDS)
    set_of = [k for k in am.seq_of_records(mods) if k[0] == 'SET OF']
    expect('SET OF records', set_of, [('SET OF', 'LGCP::TonecMask')])
    # The LGCP source fills every record but those of BASE and MEDIA elements.
    own = [k for k in am.seq_of_records(mods) if not k[1].startswith(('BASE::', 'MEDIA::'))]
    expect('SEQUENCE OF records filled by the LGCP source', len(own), LGCP_SEQ_OF_RECORDS)
    got = ranges(mods)
    if got != RANGES:
        errors.append('constrained INTEGER ranges: extra %s, missing %s' %
                      (sorted(got - RANGES), sorted(RANGES - got)))

    additions = {t.qname: len(t.additions()) for t in all_types(mods) if t.additions()}
    expect('types with extension additions', additions, ADDITIONS)
    for t in all_types(mods):
        if t.kind == 'SEQUENCE':
            for m in t.additions():
                if not m.optional:
                    errors.append('%s.%s: extension field not OPTIONAL' % (t.qname, m.name))
        if t.kind == 'CHOICE':
            if any(m.optional for m in t.members):
                errors.append('%s: OPTIONAL alternative' % t.qname)
            if not t.members:
                errors.append('%s: no alternatives' % t.qname)
        if t.kind == 'ENUMERATED' and list(table_values(t.name_table())) != [v for _, v in t.names]:
            errors.append('%s: name table does not give back the values' % t.qname)
        seen = set()
        for m in t.members:
            cname = m.name.replace('-', '_')
            if cname in seen:
                errors.append('%s: member names collide as %s' % (t.qname, cname))
            seen.add(cname)

    by_q = {t.qname: t for t in all_types(mods)}
    for q, (root, total) in CHOICE_COUNTS.items():
        t = by_q.get(q)
        if t is None or t.kind != 'CHOICE':
            errors.append('%s: no such CHOICE' % q)
            continue
        expect('%s root/total' % q, (len(t.root()), len(t.members)), (root, total))
    for q, want in OPT_INDEXES.items():
        t = by_q[q]
        got = {m.name: m.opt_index for m in t.members if m.name in want}
        expect('%s optional-bit indexes' % q, got, want)
    for q, mx in ENUM_MAX.items():
        expect('%s maximum' % q, by_q[q].max_value(), mx)
    for q, table in NAME_TABLES.items():
        expect('%s name table' % q, by_q[q].name_table(), table)
    return errors


def table_values(table):
    """The values a name table gives, read back as the printer reads it."""
    value = 0
    for s in table:
        if '=' in s:
            value = int(s.split('=', 1)[1])
        yield value
        value += 1
