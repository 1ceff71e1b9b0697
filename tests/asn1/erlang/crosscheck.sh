#!/bin/sh
# Cross-check of our aligned PER coder against Erlang's asn1 application.
#   crosscheck.sh PEER SOURCE_DIR WORK_DIR
peer=$1 src=$2 work=$3
count=400
if ! command -v erlc >/dev/null 2>&1 || ! command -v escript >/dev/null 2>&1; then
    echo "SKIPPED: erlc/escript not found (install erlang-base and erlang-asn1)"
    exit 77
fi
set -e
rm -rf "$work"
mkdir -p "$work"
erlc -bper -o "$work" "$src/CrossCheck.asn"
"$peer" generate $count "$work/values.txt"
escript "$src/crosscheck.escript" "$work" "$work/values.txt" "$work/erlang.txt"
"$peer" check $count "$work/erlang.txt"
