#!/usr/bin/env python3
"""Compiles the strict message modules with Erlang/OTP asn1 (aligned PER) and
checks the envelope's byte examples both ways."""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree clean
from erlang_modules import compile_modules  # noqa: E402

# (Erlang value of LGCP Message, aligned-PER bytes)
CASES = [
    ("{'Message', 7, asn1_NOVALUE, {command, {ping, 'NULL'}}}", '80010718'),
    ("{'Message', 7, asn1_NOVALUE, {response, {success, 'NULL'}}}", '80010740'),
    ("{'Message', 5, 12, {response, {error, slotNotExists}}}", 'C00105000C63'),
    ("{'Message', 1, asn1_NOVALUE, {command, {ping, 'NULL'}}}", '80010118'),
    ("{'Message', 1, asn1_NOVALUE, {response, {success, 'NULL'}}}", '80010140'),
    ("{'Message', 1, asn1_NOVALUE, {response, {error, unexpectedMsgType}}}", '80010164'),
    ("{'Message', asn1_NOVALUE, 5, {signal, {activated, 'NULL'}}}", '400005' + '85'),
    ("{'Message', asn1_NOVALUE, asn1_NOVALUE, {command, {ping, 'NULL'}}}", None),
    ("{'Message', -1, 1023, {command, {ping, 'NULL'}}}", None),
]

SCRIPT = r'''
Check = fun({V, Want}) ->
    {ok, B} = 'LGCP':encode('Message', V),
    Hex = lists:flatten([io_lib:format("~2.16.0B", [X]) || <<X>> <= B]),
    {ok, Back} = 'LGCP':decode('Message', B),
    Same = (Back =:= V),
    Match = (Want =:= none) orelse (Want =:= Hex),
    io:format("~s ~p ~p~n", [Hex, Same, Match]),
    Same andalso Match
  end,
Results = lists:map(Check, [%s]),
halt(case lists:all(fun(X) -> X end, Results) of true -> 0; false -> 1 end).
'''


def main(erlc, erl, strict_dir):
    strict_dir = os.path.abspath(strict_dir)
    with tempfile.TemporaryDirectory() as out:
        if not compile_modules(erlc, strict_dir, out):
            return 1
        cases = ', '.join('{%s, %s}' % (v, '"%s"' % b if b else 'none') for v, b in CASES)
        r = subprocess.run([erl, '-noshell', '-pa', out, '-eval', SCRIPT % cases],
                           capture_output=True, text=True, timeout=120)
        print(r.stdout + r.stderr)
        return r.returncode


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:4]))
