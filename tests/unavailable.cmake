# Stands in for a check that cannot run in this configuration. Outside CI the
# check is skipped with a line that says why; in CI (CI=true) it fails
# instead, with the same line.
# Variables: REASON (what is missing, and how to get it).
if("$ENV{CI}" STREQUAL "true")
  message(FATAL_ERROR "cannot run: ${REASON}")
endif()
message("skipped: ${REASON}")
