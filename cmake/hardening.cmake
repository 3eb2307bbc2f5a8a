# The compiler and linker protections of the POSIX build, the ones Debian
# builds its own packages with: stack protector, stack-clash protection,
# control-flow protection (branch protection on arm64), fortified C library
# calls in optimised builds, a position-independent executable with read-only
# relocations bound at start.
# The tool reads command lines that scripts build from outside data.
#
# They apply to every target made after this file is included. The sanitizer
# and fuzz builds bring instrumentation of their own and leave them off.
# Sets HUECAST_STATIC_LINK_OPTIONS, the link options of the static tool: a
# static PIE where the tool chain makes one that runs, otherwise -static.

include(CheckCXXCompilerFlag)
include(CheckCXXSourceRuns)

if(HUECAST_SANITIZE OR HUECAST_FUZZ)
  set(huecast_harden_default OFF)
else()
  set(huecast_harden_default ON)
endif()
option(HUECAST_HARDEN "Build the POSIX tool with Debian's compiler and linker protections"
       ${huecast_harden_default})

# Without the protections the static tool links with plain -static.
set(HUECAST_STATIC_LINK_OPTIONS -static)
if(HUECAST_HARDEN)
  # Each protection is used where the compiler knows it: -fcf-protection exists
  # only on x86, -mbranch-protection only on arm64.
  foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection
               -mbranch-protection=standard)
    string(MAKE_C_IDENTIFIER "HUECAST_HAS${flag}" known)
    check_cxx_compiler_flag(${flag} ${known})
    if(${known})
      add_compile_options(${flag})
    endif()
  endforeach()

  # _FORTIFY_SOURCE works only with optimisation, and warns without it. Flags
  # that set it already (dpkg-buildflags' CPPFLAGS, Arch's
  # -Wp,-D_FORTIFY_SOURCE=3) or unset it choose the level: a second definition
  # would be a redefinition, an error with warnings as errors.
  string(TOUPPER "${CMAKE_BUILD_TYPE}" huecast_config)
  if(NOT "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${huecast_config}}" MATCHES "_FORTIFY_SOURCE")
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  endif()

  # PIE is named outright rather than through POSITION_INDEPENDENT_CODE: CMake
  # would put its -pie after the target's own options, where it overrides the
  # static tool's -static-pie.
  add_compile_options(-fPIE)
  add_link_options(-pie -Wl,-z,relro -Wl,-z,now)

  # A static PIE needs start-up code that relocates the program itself (glibc's
  # rcrt1.o); not every C library has it, so the check links and runs one.
  set(CMAKE_REQUIRED_FLAGS -fPIE)
  set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
  check_cxx_source_runs("int main() { return 0; }" HUECAST_HAS_STATIC_PIE)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(HUECAST_HAS_STATIC_PIE)
    set(HUECAST_STATIC_LINK_OPTIONS -static-pie)
  elseif(HUECAST_STATIC)
    message(NOTICE "The tool chain makes no static PIE: the static tool loads at a fixed address")
  endif()
endif()
