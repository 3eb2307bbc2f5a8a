# The Windows x64 console executable, build/<dir>/Huecast.exe.
#
# It starts at its own entry point, with no C runtime start-up: no static
# constructors, no argument parsing, no exception support. It links nothing
# statically but libgcc's helpers and imports only KERNEL32.dll and
# msvcrt.dll, whose wide-string routines need no start-up of ours.

# Everything that goes into the executable is optimised for size; unused
# routines and data are dropped at link time. The program calls only the C
# runtime routines it names among its platform operations, so the compiler
# must not turn loops into calls of its own (strlen, memcpy, memset).
set(HUECAST_WINDOWS_COMPILE_OPTIONS
  -ffunction-sections
  -fdata-sections
  -fno-threadsafe-statics
  -fno-ident
  -fno-tree-loop-distribute-patterns
)
set(HUECAST_WINDOWS_CODE_OPTIONS ${HUECAST_CODE_OPTIONS} ${HUECAST_WINDOWS_COMPILE_OPTIONS})
target_compile_options(huecast_core PRIVATE ${HUECAST_WINDOWS_COMPILE_OPTIONS})

# The version record. windres is run directly: the compile options of the
# project are C++ options and mean nothing to it.
# cmake/metadata.cmake has filled in the project's metadata.
set(HUECAST_VERSION_RC ${PROJECT_BINARY_DIR}/version.rc)
set(HUECAST_VERSION_OBJECT ${CMAKE_CURRENT_BINARY_DIR}/huecast_version.res.obj)
add_custom_command(
  OUTPUT ${HUECAST_VERSION_OBJECT}
  COMMAND ${CMAKE_RC_COMPILER} --input-format=rc --output-format=coff
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
target_link_options(huecast PRIVATE
  -nostdlib
  -static
  -Wl,--entry=HuecastStart
  -Wl,--subsystem,console
  -Wl,--gc-sections
  # Without a C runtime nothing would apply pseudo-relocations: data taken
  # from a DLL without dllimport must fail the link instead.
  -Wl,--disable-auto-import
  -Wl,--disable-runtime-pseudo-reloc
  -Wl,--no-insert-timestamp
  $<$<CONFIG:MinSizeRel,Release>:-s>
)
# The libraries come last, after the program's own code that needs them.
target_link_libraries(huecast PRIVATE huecast_core kernel32 msvcrt gcc)

install(TARGETS huecast RUNTIME DESTINATION bin)
# The ZIP that tools/release makes is this component: the executable at the
# top, next to the example script, the README and the licence. A plain
# cmake --install leaves it out.
install(TARGETS huecast RUNTIME DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)
install(FILES examples/Demo.cmd README.md LICENSE DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)

# HuecastTests.exe, the acceptance program that a Windows user or runner
# starts next to Huecast.exe. It is an ordinary console program with the C
# runtime's start-up, linked statically, so that it too needs nothing but
# KERNEL32.dll and msvcrt.dll.
add_executable(huecast_acceptance tests/windows/acceptance.cc)
set_target_properties(huecast_acceptance PROPERTIES
  OUTPUT_NAME HuecastTests
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
)
target_include_directories(huecast_acceptance PRIVATE tests)
target_compile_options(huecast_acceptance PRIVATE ${HUECAST_CODE_OPTIONS} -municode)
target_link_options(huecast_acceptance PRIVATE
  -municode
  -static
  -Wl,--subsystem,console
  -Wl,--no-insert-timestamp
  $<$<CONFIG:MinSizeRel,Release>:-s>
)
