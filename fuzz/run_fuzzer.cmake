# Runs a libFuzzer target for CTest.
#   MODE=replay: runs every committed input of CORPUS once.
#   MODE=fuzz:   fuzzes for SECONDS on a fresh copy of CORPUS in WORK, so the
#                repository is never written to; findings land in WORK too.
# Fails when the target reports a finding (any nonzero exit).

if(NOT FUZZER OR NOT CORPUS OR NOT MODE)
  message(FATAL_ERROR "FUZZER, CORPUS and MODE are required")
endif()

# -timeout turns a hang into a finding; -rss_limit_mb keeps growth in check.
set(common -timeout=10 -rss_limit_mb=2048)

if(MODE STREQUAL "replay")
  file(GLOB inputs LIST_DIRECTORIES false "${CORPUS}/*")
  if(NOT inputs)
    message(FATAL_ERROR "no inputs in ${CORPUS}")
  endif()
  list(LENGTH inputs count)
  execute_process(COMMAND ${FUZZER} ${common} ${inputs} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "replay of ${count} inputs failed: ${result}")
  endif()
  message(STATUS "replayed ${count} inputs")
elseif(MODE STREQUAL "fuzz")
  if(NOT WORK OR NOT SECONDS)
    message(FATAL_ERROR "WORK and SECONDS are required")
  endif()
  file(REMOVE_RECURSE "${WORK}")
  file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
  file(COPY "${CORPUS}/" DESTINATION "${WORK}/corpus")
  execute_process(COMMAND ${FUZZER} ${common} -max_total_time=${SECONDS} -print_final_stats=1
                          -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
                  RESULT_VARIABLE result)
  file(GLOB findings "${WORK}/artifacts/*")
  if(NOT result EQUAL 0 OR findings)
    message(FATAL_ERROR "fuzzing found a fault (exit ${result}); inputs: ${findings}")
  endif()
else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
