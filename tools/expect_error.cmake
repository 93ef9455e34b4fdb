# Runs clasp-sim with bad input and checks that it refuses it with exit status
# 2 and a message matching EXPECT.
#   -DSIM=<clasp-sim> -DARGS=<a^b^c> -DEXPECT=<regex> -DRUNS=<work dir> [-DLAUNCHER=<wine>]
file(MAKE_DIRECTORY ${RUNS})
# ^ separates the arguments: a ; would not survive the way from add_test to here.
string(REPLACE "^" ";" ARGS "${ARGS}")
execute_process(
  COMMAND ${LAUNCHER} ${SIM} ${ARGS}
  WORKING_DIRECTORY ${RUNS}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "expected exit status 2, got ${status}\nstdout: ${output}\nstderr: ${errors}")
endif()
if(NOT errors MATCHES "${EXPECT}")
  message(FATAL_ERROR "the error does not match '${EXPECT}':\n${errors}")
endif()
if(NOT output STREQUAL "")
  message(FATAL_ERROR "bad input must not print a transcript:\n${output}")
endif()
