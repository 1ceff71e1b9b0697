#!/bin/sh
# Cross-builds for the board (32-bit big-endian PowerPC) into build-ppc and runs every
# test there under qemu-ppc: the kernel's binfmt handler runs each PowerPC program in
# the emulator, whether ctest or a test script starts it.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh ppc
jobs=$(nproc)
triple=powerpc-linux-gnu
toolchain=$PWD/cmake/$triple.cmake
out=build-ppc
gtest=$PWD/$out/googletest

# The handler for 32-bit big-endian PowerPC programs, and the target's loader and
# libraries where qemu looks for them by default.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ ! -e "$binfmt/qemu-ppc" ]; then
  cat /usr/lib/binfmt.d/qemu-ppc.conf >"$binfmt/register"
fi
grep -qx enabled "$binfmt/qemu-ppc" || echo 1 >"$binfmt/qemu-ppc"
if [ ! -e /etc/qemu-binfmt/ppc ]; then
  mkdir -p /etc/qemu-binfmt
  ln -s "/usr/$triple" /etc/qemu-binfmt/ppc
fi

echo "== GoogleTest for $triple"
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$out/googletest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$out/googletest-build" -j "$jobs"
  cmake --install "$out/googletest-build" >/dev/null
fi

echo "== $triple build"
# -O2 as the normal build (type-punning and aliasing faults show there) and with assertions;
# no debug information, which keeps the build short.
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE=-O2 -DTAMBORIL_BENCH=OFF -DTAMBORIL_FUZZ=OFF \
  -DGTest_DIR="$gtest/lib/cmake/GTest"
start=$(date +%s)
cmake --build "$out" -j "$jobs"
echo "$triple build: $(($(date +%s) - start)) s"

echo "== $triple tests under qemu-ppc"
start=$(date +%s)
(cd "$out" && ctest -j "$jobs" --output-on-failure)
echo "$triple tests: $(($(date +%s) - start)) s"
