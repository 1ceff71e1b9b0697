#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing;
# "deps.sh ppc" adds the PowerPC cross compiler and the emulator.
set -e
packages="build-essential cmake ninja-build python3 clang libclang-rt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libboost-dev libloki-dev
  erlang-base erlang-asn1 tshark iproute2 valgrind libpri-dev libss7-dev"
if [ "$1" = ppc ]; then
  packages="$packages g++-powerpc-linux-gnu qemu-user qemu-user-binfmt"
fi
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi
