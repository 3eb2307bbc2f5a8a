# Stands in for a check whose tool is missing. Outside CI the check is
# skipped with a line that names the package to install; in CI (CI=true) a
# missing tool fails the check instead, with the same line.
# Variables: CHECK (what cannot run), PACKAGE (the Debian package to install).
if("$ENV{CI}" STREQUAL "true")
  message(FATAL_ERROR "missing: ${CHECK} needs '${PACKAGE}': apt-get install ${PACKAGE}")
endif()
message("skipped: ${CHECK} needs '${PACKAGE}': apt-get install ${PACKAGE}")
