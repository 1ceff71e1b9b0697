#!/usr/bin/env python3
"""Cross-checks every generated sample against Erlang/OTP asn1 (aligned PER).

The sample program writes each sample's encoding; Erlang decodes those octets
with the strict modules and encodes the value it got, which must give the same
octets back. Our side already decodes its own octets to an equal value, so the
two coders agree both ways.

  erlang_samples.py ERLC ERL STRICT_DIR SAMPLE_DUMP_PROGRAM
"""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree clean
from erlang_modules import compile_modules  # noqa: E402

SCRIPT = r'''
{ok, Lines} = file:consult("%s"),
Check = fun({M, T, Hex}) ->
    Bin = binary:decode_hex(list_to_binary(Hex)),
    R = try
            {ok, V} = M:decode(T, Bin),
            {ok, B} = M:encode(T, V),
            case B =:= Bin of
                true -> ok;
                false -> {differs, binary:encode_hex(B)}
            end
        catch C:E -> {failed, C, E}
        end,
    case R of
        ok -> true;
        _ -> io:format("~s ~s ~s: ~p~n", [M, T, Hex, R]), false
    end
  end,
Results = lists:map(Check, Lines),
Bad = length([X || X <- Results, X =/= true]),
io:format("~p samples, ~p differ~n", [length(Results), Bad]),
halt(case Bad of 0 -> 0; _ -> 1 end).
'''


def main(erlc, erl, strict_dir, dump):
    strict_dir = os.path.abspath(strict_dir)
    with tempfile.TemporaryDirectory() as out:
        listing = os.path.join(out, 'samples.txt')
        subprocess.run([dump, listing], check=True)
        terms = os.path.join(out, 'samples.terms')
        bad = 0
        with open(listing) as src, open(terms, 'w') as dst:
            for line in src:
                module, typ, hexa = line.split()
                if hexa == '-':
                    print('%s %s: the sample does not encode' % (module, typ))
                    bad += 1
                    continue
                dst.write("{'%s', '%s', \"%s\"}.\n" % (module, typ, hexa))
        if not compile_modules(erlc, strict_dir, out):
            return 1
        r = subprocess.run([erl, '-noshell', '-pa', out, '-eval', SCRIPT % terms],
                           capture_output=True, text=True, timeout=600)
        print(r.stdout + r.stderr)
        return 1 if bad else r.returncode


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:5]))
