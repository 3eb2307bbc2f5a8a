# Configures and builds a preset in a build folder of the caller's choosing,
# then runs the preset's tests there: what `cmake --workflow --preset` does
# in the preset's own folder under the sources.
# Variables: PRESET, SOURCE (the source tree), BINARY (the build folder),
# CTEST (the ctest to run the tests with).
foreach(variable PRESET SOURCE BINARY CTEST)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is required")
  endif()
endforeach()

macro(huecast_step)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${SOURCE} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endmacro()

huecast_step(${CMAKE_COMMAND} --preset ${PRESET} -B ${BINARY})
huecast_step(${CMAKE_COMMAND} --build ${BINARY} -j 2)
huecast_step(${CTEST} --preset ${PRESET} --test-dir ${BINARY})
