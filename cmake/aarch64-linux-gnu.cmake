# Cross build for 64-bit ARM with Debian's cross compiler (g++-aarch64-linux-gnu).
# Programs built here run on this machine under qemu-user emulation: CTest
# starts test programs through CMAKE_CROSSCOMPILING_EMULATOR, and programs
# those tests start in turn are run by the kernel's binfmt_misc handler
# (scripts/setup.sh registers it).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CORVANE_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${CORVANE_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CORVANE_CROSS_TRIPLE}-g++)

# Debian installs the target's C library and headers here.
set(CORVANE_CROSS_SYSROOT /usr/${CORVANE_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${CORVANE_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Where the emulator finds the arm64 C library and C++ runtime. Debian's
# multiarch arm64 packages (libc6:arm64, libstdc++6:arm64, installed by
# scripts/setup.sh) put them where an aarch64 system has them, so no prefix is
# needed; the cross toolchain's own copy is the fallback. (Debian 12's cross
# C library, 2.36-8cross1, leaves a forked child hanging under its qemu-user;
# the multiarch one does not.) scripts/lib/common.sh decides the same way.
if(EXISTS /lib/ld-linux-aarch64.so.1 AND EXISTS /usr/lib/aarch64-linux-gnu/libstdc++.so.6)
  set(CORVANE_QEMU_LD_PREFIX "")
else()
  set(CORVANE_QEMU_LD_PREFIX ${CORVANE_CROSS_SYSROOT})
endif()
find_program(CORVANE_QEMU NAMES qemu-aarch64-static qemu-aarch64)
if(CORVANE_QEMU AND CORVANE_QEMU_LD_PREFIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANE_QEMU} -L ${CORVANE_QEMU_LD_PREFIX})
elseif(CORVANE_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANE_QEMU})
endif()
