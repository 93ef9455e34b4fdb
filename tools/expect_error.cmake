# Runs clasp-sim with bad input and checks that it refuses it with exit status
# 2 and a message matching EXPECT.
#   -DSIM=<clasp-sim> -DARGS=<a^b^c> -DEXPECT=<regex> -DRUNS=<work dir> [-DLAUNCHER=<wine>]
include(${CMAKE_CURRENT_LIST_DIR}/run_sim.cmake)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "expected exit status 2, got ${status}\nstdout: ${output}\nstderr: ${errors}")
endif()
if(NOT errors MATCHES "${EXPECT}")
  message(FATAL_ERROR "the error does not match '${EXPECT}':\n${errors}")
endif()
if(NOT output STREQUAL "")
  message(FATAL_ERROR "bad input must not print a transcript:\n${output}")
endif()
