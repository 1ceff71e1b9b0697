#!/usr/bin/env python3
"""Message module generator.

  asn1gen.py check  ASN_DIR                 verify the modules, exit 1 on a mismatch
  asn1gen.py strict ASN_DIR OUT_DIR         strict X.680 modules for erlc
  asn1gen.py cpp    ASN_DIR OUT_DIR         C++ header and source per module
  asn1gen.py samples ASN_DIR OUT_DIR        sample-value tests, one source per module
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import asn1model  # noqa: E402
import checks  # noqa: E402
import cpp  # noqa: E402
import samples  # noqa: E402
import strict  # noqa: E402


def write_file(path, text):
    """Leaves an unchanged file alone, so its dependants are not rebuilt."""
    try:
        with open(path) as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, 'w') as f:
        f.write(text)


def main(argv):
    if len(argv) < 3 or argv[1] not in ('check', 'strict', 'cpp', 'samples'):
        sys.stderr.write(__doc__)
        return 2
    try:
        mods = asn1model.load(argv[2])
    except (asn1model.AsnError, OSError) as e:
        sys.stderr.write('asn1gen: %s\n' % e)
        return 1
    errors = checks.run(mods)
    if errors:
        for e in errors:
            sys.stderr.write('asn1gen: %s\n' % e)
        return 1
    if argv[1] == 'check':
        return 0
    out = argv[3]
    os.makedirs(out, exist_ok=True)
    if argv[1] == 'cpp':
        emitter = cpp.Emitter(mods)
        for name, mod in mods.items():
            write_file(os.path.join(out, name + '.h'), emitter.header(mod))
            write_file(os.path.join(out, name + '.cpp'), emitter.source(mod))
        return 0
    if argv[1] == 'samples':
        gen = samples.Samples(mods, cpp.Emitter(mods))
        write_file(os.path.join(out, 'samples.h'), gen.header())
        write_file(os.path.join(out, 'samples_dump.cpp'), gen.dump_main())
        for name, mod in mods.items():
            write_file(os.path.join(out, name + '_samples.cpp'), gen.source(mod))
        return 0
    ren = strict.renames(mods)
    for name, mod in mods.items():
        write_file(os.path.join(out, name + '.asn1'), strict.write_module(mod, mods, ren))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
