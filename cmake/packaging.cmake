# Installation of the documentation, and the packages made with CPack:
#   POSIX build:   cpack --config <build>/CPackConfig.cmake
#                  -> Huecast-<version>-<system>.tar.gz with bin/huecast,
#                     share/man/man1/huecast.1 and share/doc/huecast/README.md
#                     and LICENSE
#   Windows build: the same command in the cross build
#                  -> Huecast-<version>-win64.zip with Huecast.exe, Demo.cmd,
#                     README.md and LICENSE side by side
# Each archive holds one top-level directory named like the archive.

if(WIN32)
  # The ZIP is made from a component of its own, which a plain
  # cmake --install leaves out: the executable at the top, next to the
  # example script and the README.
  install(TARGETS huecast RUNTIME DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/Demo.cmd ${PROJECT_SOURCE_DIR}/README.md
                ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};zip;/")
else()
  # The binary itself is installed to bin by the top-level CMakeLists.txt.
  install(FILES ${PROJECT_SOURCE_DIR}/docs/huecast.1 DESTINATION share/man/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION share/doc/huecast)
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_PACKAGE_NAME Huecast)
set(CPACK_PACKAGE_VENDOR ${HUECAST_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
# Only binary packages; no source archive.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
