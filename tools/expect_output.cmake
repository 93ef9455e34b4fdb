# Runs clasp-sim and checks that it succeeds and that its output matches EXPECT
# (<ESC> in EXPECT stands for the escape character of terminal colours).
#   -DSIM=<clasp-sim> -DARGS=<a^b^c> -DEXPECT=<regex> -DRUNS=<work dir> [-DLAUNCHER=<wine>]
include(${CMAKE_CURRENT_LIST_DIR}/run_sim.cmake)
string(ASCII 27 escape)
string(REPLACE "<ESC>" "${escape}" EXPECT "${EXPECT}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "expected exit status 0, got ${status}\n${errors}")
endif()
if(NOT output MATCHES "${EXPECT}")
  message(FATAL_ERROR "the output does not match '${EXPECT}':\n${output}")
endif()
