# Cross-building the Windows ARM64 executable with clang and lld.
#
# Debian 12 has no mingw-w64 tool chain for ARM64, and none is needed: the
# program uses no C runtime start-up and no C++ library code. What it needs
# are the mingw-w64 headers, which serve every Windows architecture, the
# C++ library's headers for what the core includes (<atomic>, <cstdint>,
# <cstddef>: templates and type names, no compiled code), and import libraries
# for KERNEL32.dll and msvcrt.dll, which cmake/windows.cmake makes from the
# platform layer's .def files with llvm-dlltool.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)

set(HUECAST_WINDOWS_TARGET aarch64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES clang++-14 clang++ REQUIRED)
set(CMAKE_CXX_COMPILER_TARGET ${HUECAST_WINDOWS_TARGET})
find_program(CMAKE_RC_COMPILER NAMES llvm-windres-14 llvm-windres REQUIRED)
find_program(HUECAST_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool REQUIRED)
find_program(CMAKE_STRIP NAMES llvm-strip-14 llvm-strip)
set(HUECAST_DLLTOOL_MACHINE arm64)

# The headers: mingw-w64's, shared by all its targets, and the C++ library
# headers of Debian's x86-64 mingw-w64 compiler. -nostdlibinc keeps the host's
# /usr/include out while keeping clang's own headers.
set(HUECAST_MINGW_HEADERS /usr/share/mingw-w64/include)
file(GLOB HUECAST_CXX_HEADERS LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-win32/include/c++)
if(NOT HUECAST_CXX_HEADERS OR NOT EXISTS ${HUECAST_MINGW_HEADERS}/windows.h)
  message(FATAL_ERROR "The mingw-w64 headers are missing: apt-get install g++-mingw-w64-x86-64")
endif()
list(GET HUECAST_CXX_HEADERS 0 HUECAST_CXX_HEADERS)
set(CMAKE_CXX_FLAGS_INIT
    "-nostdlibinc -isystem ${HUECAST_CXX_HEADERS} -isystem ${HUECAST_CXX_HEADERS}/x86_64-w64-mingw32 -isystem ${HUECAST_MINGW_HEADERS}")
# The linker by its path: lld-14 installs ld.lld-14, and only the lld
# package adds the plain ld.lld that -fuse-ld=lld alone would look for.
find_program(HUECAST_LLD NAMES ld.lld-14 ld.lld REQUIRED)
# lld marks images terminal-server aware, which mingw-w64's ld does not: the
# switch keeps the two executables' DllCharacteristics the same. Windows on
# ARM64 began with Windows 10, and Microsoft's linker marks ARM64 images for
# subsystem 6.2 at the least, where lld's default is 6.0. CMake hands the
# compile flags (the header paths) to the link too, where they mean nothing.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fuse-ld=lld --ld-path=${HUECAST_LLD} -Wl,-Xlink=-tsaware:no -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,2 -Wno-unused-command-line-argument")
# There is no C runtime to link a test program against: the compiler checks
# compile a library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# Nor are there CMake's default Windows libraries (user32, gdi32, ...): the
# program names the two it imports.
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every program")
# The version record's script includes <winver.h>.
set(HUECAST_RC_FLAGS --target=${HUECAST_WINDOWS_TARGET} -I${HUECAST_MINGW_HEADERS})

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
