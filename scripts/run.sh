#!/bin/sh
# Installs what is missing, builds, and starts the daemon in the foreground on
# the simulated board, listening on port 20001.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target tamboril-sim
exec build/server/tamboril-sim --port 20001 "$@"
