# The board: 32-bit big-endian PowerPC Linux, built with Debian's cross compiler
# (g++-powerpc-linux-gnu). Programs built with it run here under qemu-ppc.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(TAMBORIL_TARGET_TRIPLE powerpc-linux-gnu)
set(CMAKE_C_COMPILER ${TAMBORIL_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TAMBORIL_TARGET_TRIPLE}-g++)

# Libraries and packages come from the target's own tree only; programs (python3, erl, tshark)
# are the build machine's. Header-only packages are looked up in the target tree first, then in
# the build machine's /usr/include (their headers do not depend on the architecture).
set(CMAKE_FIND_ROOT_PATH /usr/${TAMBORIL_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No CMAKE_CROSSCOMPILING_EMULATOR: ctest and the test scripts start the target's programs
# alike, through the kernel's binfmt handler for qemu-ppc (scripts/ppc.sh registers it). Started
# as "qemu-ppc program", a process would also show qemu's name in /proc/PID/comm.
