# The Windows console executable, build/<dir>/Huecast.exe: x64 with mingw-w64
# gcc (cmake/mingw-w64-x86_64.cmake), ARM64 with clang and lld
# (cmake/clang-aarch64-w64-mingw32.cmake).
#
# It starts at its own entry point, with no C runtime start-up: no static
# constructors, no argument parsing, no exception support. It links nothing
# statically but libgcc's helpers (x64) and imports only KERNEL32.dll and
# msvcrt.dll, whose wide-string routines need no start-up of ours.

# Everything that goes into the executable is optimised for size; unused
# routines and data are dropped at link time. The program calls only the C
# runtime routines it names among its platform operations, so the compiler
# must not turn loops into calls of its own (strlen, memcpy, memset): gcc
# names that transformation, clang has only -fno-builtin for it.
set(HUECAST_NO_LIBRARY_CALLS_gnu -fno-tree-loop-distribute-patterns)
set(HUECAST_NO_LIBRARY_CALLS_clang -fno-builtin)
string(TOLOWER ${CMAKE_CXX_COMPILER_ID} huecast_compiler)
set(HUECAST_WINDOWS_COMPILE_OPTIONS
  -ffunction-sections
  -fdata-sections
  -fno-threadsafe-statics
  -fno-ident
  ${HUECAST_NO_LIBRARY_CALLS_${huecast_compiler}}
)
set(HUECAST_WINDOWS_CODE_OPTIONS ${HUECAST_CODE_OPTIONS} ${HUECAST_WINDOWS_COMPILE_OPTIONS})
target_compile_options(huecast_core PRIVATE ${HUECAST_WINDOWS_COMPILE_OPTIONS})

# The version record. windres is run directly: the compile options of the
# project are C++ options and mean nothing to it.
# cmake/metadata.cmake has filled in the project's metadata, in UTF-8, which
# windres would otherwise read in a Windows ANSI code page: a maintainer's
# name may hold any character.
set(HUECAST_VERSION_RC ${PROJECT_BINARY_DIR}/version.rc)
set(HUECAST_VERSION_OBJECT ${CMAKE_CURRENT_BINARY_DIR}/huecast_version.res.obj)
add_custom_command(
  OUTPUT ${HUECAST_VERSION_OBJECT}
  COMMAND ${CMAKE_RC_COMPILER} ${HUECAST_RC_FLAGS} --codepage=65001 --input-format=rc
          --output-format=coff
          ${HUECAST_VERSION_RC} ${HUECAST_VERSION_OBJECT}
  DEPENDS ${HUECAST_VERSION_RC}
  COMMENT "Compiling the version record"
  VERBATIM
)

add_executable(huecast
  src/platform/win32/entry.cc
  src/platform/win32/platform.cc
  ${HUECAST_VERSION_OBJECT}
)
set_target_properties(huecast PROPERTIES
  OUTPUT_NAME Huecast
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
)
target_compile_options(huecast PRIVATE ${HUECAST_WINDOWS_CODE_OPTIONS})
# The link of a program with its own entry (-Wl,--entry= follows) and no C
# runtime start-up, which HuecastTests.exe shares.
set(HUECAST_WINDOWS_LINK_OPTIONS
  -nostdlib
  -static
  -Wl,--subsystem,console
  -Wl,--gc-sections
  # Without a C runtime nothing would apply pseudo-relocations: data taken
  # from a DLL without dllimport must fail the link instead.
  -Wl,--disable-auto-import
  -Wl,--disable-runtime-pseudo-reloc
  -Wl,--no-insert-timestamp
  $<$<CONFIG:MinSizeRel,Release>:-s>
)
target_link_options(huecast PRIVATE ${HUECAST_WINDOWS_LINK_OPTIONS} -Wl,--entry=HuecastStart)

# Links a program against KERNEL32.dll and msvcrt.dll, after its own code.
# mingw-w64 gcc brings their import libraries, and libgcc for the programs
# that name it (extra arguments). A tool chain with neither (clang for ARM64)
# gets import libraries made from the program's own .def files in folder,
# which list exactly the routines it calls: anything else fails the link.
function(huecast_link_system target folder)
  if(NOT HUECAST_DLLTOOL)
    target_link_libraries(${target} PRIVATE kernel32 msvcrt ${ARGN})
    return()
  endif()
  foreach(dll kernel32 msvcrt)
    set(library ${CMAKE_CURRENT_BINARY_DIR}/imports/${target}/lib${dll}.a)
    set(definitions ${PROJECT_SOURCE_DIR}/${folder}/${dll}.def)
    add_custom_command(
      OUTPUT ${library}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/imports/${target}
      COMMAND ${HUECAST_DLLTOOL} -m ${HUECAST_DLLTOOL_MACHINE} -d ${definitions} -l ${library}
      DEPENDS ${definitions}
      COMMENT "Making the import library of ${dll}.dll for ${target}"
      VERBATIM
    )
    add_custom_target(${target}_${dll} DEPENDS ${library})
    add_dependencies(${target} ${target}_${dll})
    target_link_libraries(${target} PRIVATE ${library})
  endforeach()
endfunction()

target_link_libraries(huecast PRIVATE huecast_core)
huecast_link_system(huecast src/platform/win32 gcc)

install(TARGETS huecast RUNTIME DESTINATION bin)
# The ZIP that tools/release makes is this component: the executable at the
# top, next to the example script, the README and the licence. A plain
# cmake --install leaves it out.
install(TARGETS huecast RUNTIME DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)
install(FILES examples/Demo.cmd README.md LICENSE DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)

# HuecastTests.exe, the acceptance program that a Windows user or runner
# starts next to Huecast.exe. It is built as Huecast.exe is: its own entry,
# no C or C++ runtime start-up, nothing of libstdc++ or libgcc, and imports
# of KERNEL32.dll and msvcrt.dll alone. It formats its own report lines, so
# no argument list ever reaches msvcrt.
add_executable(huecast_acceptance tests/windows/acceptance.cc)
set_target_properties(huecast_acceptance PROPERTIES
  OUTPUT_NAME HuecastTests
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
)
target_include_directories(huecast_acceptance PRIVATE tests)
target_compile_options(huecast_acceptance PRIVATE ${HUECAST_WINDOWS_CODE_OPTIONS})
target_link_options(huecast_acceptance PRIVATE ${HUECAST_WINDOWS_LINK_OPTIONS}
                    -Wl,--entry=HuecastTestsStart)
huecast_link_system(huecast_acceptance tests/windows)

# HuecastStandIn.exe, a Huecast.exe that hangs on a pipe and crashes on a
# file: the harness's own test shows that it fails those runs and goes on.
# It is never shipped, and that test runs under x64 Wine only, so the ARM64
# build (the one with HUECAST_DLLTOOL) makes none.
if(NOT HUECAST_DLLTOOL)
  add_executable(huecast_stand_in tests/windows/stand_in.cc)
  set_target_properties(huecast_stand_in PROPERTIES
    OUTPUT_NAME HuecastStandIn
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
  )
  target_compile_options(huecast_stand_in PRIVATE ${HUECAST_WINDOWS_CODE_OPTIONS})
  target_link_options(huecast_stand_in PRIVATE
    -nostdlib -Wl,--entry=StandInStart -Wl,--subsystem,console -Wl,--no-insert-timestamp -s)
  target_link_libraries(huecast_stand_in PRIVATE kernel32)
endif()
