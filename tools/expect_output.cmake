# Runs clasp-sim and checks that it succeeds and that its output matches EXPECT
# (<ESC> in EXPECT stands for the escape character of terminal colours).
#   -DSIM=<clasp-sim> -DARGS=<a^b^c> -DEXPECT=<regex> -DRUNS=<work dir> [-DLAUNCHER=<wine>]
file(MAKE_DIRECTORY ${RUNS})
string(REPLACE "^" ";" ARGS "${ARGS}")
string(ASCII 27 escape)
string(REPLACE "<ESC>" "${escape}" EXPECT "${EXPECT}")
execute_process(
  COMMAND ${LAUNCHER} ${SIM} ${ARGS}
  WORKING_DIRECTORY ${RUNS}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "expected exit status 0, got ${status}\n${errors}")
endif()
if(NOT output MATCHES "${EXPECT}")
  message(FATAL_ERROR "the output does not match '${EXPECT}':\n${output}")
endif()
