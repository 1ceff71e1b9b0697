#!/bin/sh
# Installs what is missing, then builds and runs every test three times: a normal
# build, a clang build with AddressSanitizer and UndefinedBehaviorSanitizer that
# also runs each fuzz target, and a cross build for the board's 32-bit big-endian
# PowerPC run under qemu-ppc (scripts/ppc.sh).
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}

echo "== normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
(cd build && ctest -j "$jobs" --output-on-failure)

echo "== sanitizer build"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTAMBORIL_SANITIZE=ON -DTAMBORIL_FUZZ=ON -DTAMBORIL_BENCH=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest -j "$jobs" --output-on-failure)

if [ -s build-asan/fuzz-targets.txt ]; then
  echo "== fuzzing, ${fuzz_seconds}s each"
  pids=""
  for target in $(cat build-asan/fuzz-targets.txt); do
    exe=$(find build-asan/fuzz -name "$target" -type f | head -1)
    mkdir -p "build-asan/fuzz-corpus/$target"
    "$exe" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -artifact_prefix="build-asan/$target-" \
      "build-asan/fuzz-corpus/$target" \
      >"build-asan/$target.log" 2>&1 &
    pids="$pids $!:$target"
  done
  failed=0
  for entry in $pids; do
    if wait "${entry%%:*}"; then echo "fuzz ${entry#*:}: no finding"
    else echo "fuzz ${entry#*:}: FAILED"; tail -40 "build-asan/${entry#*:}.log"; failed=1; fi
  done
  [ "$failed" = 0 ]
fi
sh scripts/ppc.sh
echo "all test builds passed"
