# Cross-building the POSIX tool for Linux arm64 with Debian's cross compiler.
# The protections of cmake/hardening.cmake apply as on x86-64, with branch
# protection in place of control-flow protection. The checks that run a
# program (the static PIE) run it through qemu-aarch64-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(HUECAST_LINUX_TARGET aarch64-linux-gnu)
find_program(CMAKE_CXX_COMPILER NAMES ${HUECAST_LINUX_TARGET}-g++ REQUIRED)
find_program(CMAKE_STRIP NAMES ${HUECAST_LINUX_TARGET}-strip)
find_program(HUECAST_QEMU_AARCH64 NAMES qemu-aarch64-static REQUIRED)
# A dynamically linked program finds its loader and libraries in the cross
# compiler's tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${HUECAST_QEMU_AARCH64} -L /usr/${HUECAST_LINUX_TARGET})

set(CMAKE_FIND_ROOT_PATH /usr/${HUECAST_LINUX_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
