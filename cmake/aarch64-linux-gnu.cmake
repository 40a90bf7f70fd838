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

find_program(CORVANE_QEMU NAMES qemu-aarch64-static qemu-aarch64)
if(CORVANE_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANE_QEMU} -L ${CORVANE_CROSS_SYSROOT})
endif()
