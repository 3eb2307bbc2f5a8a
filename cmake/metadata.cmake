# Hands the project's metadata (top-level CMakeLists.txt) to the files that
# carry it:
#   <build>/version.rc            the Windows version record
#   <build>/packaging/copyright   the Debian copyright file, with the licence
#   <build>/huecast-metadata      key=value lines, read by tools/metadata.py for
#                                 tools/release, its manifests and the tests
# The version is not among those lines: tools/metadata.py reads it from
# project() itself, so that a release's tag is checked before any configure.

# The copyright line lives in LICENSE, which must name it anyway.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE HUECAST_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT HUECAST_COPYRIGHT)
  message(FATAL_ERROR "LICENSE has no line starting with \"Copyright \"")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

configure_file(${PROJECT_SOURCE_DIR}/src/platform/win32/version.rc.in
               ${PROJECT_BINARY_DIR}/version.rc @ONLY)

# The Debian copyright format wants the licence text indented by one space,
# with a lone "." for each empty line. The text starts after the copyright
# line, which has a field of its own.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE HUECAST_LICENSE_TEXT)
string(FIND "${HUECAST_LICENSE_TEXT}" "Permission is hereby granted" HUECAST_LICENSE_START)
if(HUECAST_LICENSE_START LESS 0)
  message(FATAL_ERROR "LICENSE does not hold the MIT licence's permission notice")
endif()
string(SUBSTRING "${HUECAST_LICENSE_TEXT}" ${HUECAST_LICENSE_START} -1 HUECAST_LICENSE_TEXT)
string(STRIP "${HUECAST_LICENSE_TEXT}" HUECAST_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" HUECAST_LICENSE_TEXT "${HUECAST_LICENSE_TEXT}")
string(REPLACE "\n" "\n " HUECAST_LICENSE_TEXT " ${HUECAST_LICENSE_TEXT}")
string(REGEX REPLACE "^Copyright \\(c\\) " "" HUECAST_COPYRIGHT_HOLDERS "${HUECAST_COPYRIGHT}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in
               ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)

file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/huecast-metadata CONTENT [[
name=@PROJECT_NAME@
description=@PROJECT_DESCRIPTION@
homepage=@PROJECT_HOMEPAGE_URL@
maintainer=@HUECAST_MAINTAINER@
email=@HUECAST_EMAIL@
license=@HUECAST_LICENSE@
copyright=@HUECAST_COPYRIGHT@
]] @ONLY)
