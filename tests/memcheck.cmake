# Runs the tool under valgrind memcheck with its output to a file and checks
# that valgrind found no error and the tool gave the expected exit code.
# Variables: VALGRIND, TOOL, EXPECTED (exit code); the tool's arguments
# follow "--" on the command line.
set(ARGUMENTS "")
set(seen_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE ${last})
  if(seen_separator)
    list(APPEND ARGUMENTS "${CMAKE_ARGV${index}}")
  elseif(CMAKE_ARGV${index} STREQUAL "--")
    set(seen_separator TRUE)
  endif()
endforeach()
set(output "${CMAKE_CURRENT_BINARY_DIR}/memcheck-output.bin")
execute_process(
  COMMAND ${VALGRIND} --quiet --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite --show-leak-kinds=definite ${TOOL} ${ARGUMENTS}
  OUTPUT_FILE "${output}"
  ERROR_VARIABLE report
  RESULT_VARIABLE status)
file(REMOVE "${output}")
if(NOT status EQUAL EXPECTED)
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECTED}\n${report}")
endif()
if(NOT report STREQUAL "")
  message(FATAL_ERROR "valgrind reported:\n${report}")
endif()
