#!/bin/sh
# Runs Erlang's side of the PER benchmark: compiles the cross-check module and times it.
set -e
here=$(cd "$(dirname "$0")" && pwd)
work=${1:-/tmp/tamboril-erlang-bench}
mkdir -p "$work"
erlc -bper -o "$work" "$here/../../tests/asn1/erlang/CrossCheck.asn"
escript "$here/erlang_per_bench.escript" "$work"
