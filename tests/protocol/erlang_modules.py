"""Compiles the strict copies of the message modules with Erlang's asn1 (aligned PER)."""
import os
import subprocess

# In import order: a module comes after those it imports from.
MODULES = ['BASE', 'TERM', 'ACP', 'HSP', 'MON', 'LEMZGW', 'LGCP', 'MEDIA', 'CCP']


def compile_modules(erlc, strict_dir, out):
    """Compiles every module into `out`; False (after printing erlc's words) on a failure."""
    strict_dir = os.path.abspath(strict_dir)
    for m in MODULES:
        r = subprocess.run([erlc, '-o', out, '-I', out, '-bper', '%s/%s.asn1' % (strict_dir, m)],
                           cwd=out, capture_output=True, text=True)
        if r.returncode != 0:
            print('erlc %s failed:\n%s%s' % (m, r.stdout, r.stderr))
            return False
    return True
