# Runs clasp-sim with the given arguments and compares its transcript with the
# expected one, byte for byte; CLASP_UPDATE_SCENARIOS in the environment
# rewrites the expected transcript instead (review the diff before committing).
#   -DSIM=<clasp-sim> -DARGS=<a^b^c> -DEXPECTED=<x.txt> -DRUNS=<work dir> [-DLAUNCHER=<wine>]
include(${CMAKE_CURRENT_LIST_DIR}/run_sim.cmake)
set(actual "${output}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "clasp-sim exited with ${status}\n${errors}")
endif()
if(DEFINED ENV{CLASP_UPDATE_SCENARIOS})
  file(WRITE ${EXPECTED} "${actual}")
  return()
endif()
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  get_filename_component(name ${EXPECTED} NAME_WE)
  set(actual_file ${RUNS}/${name}.actual.txt)
  file(WRITE ${actual_file} "${actual}")
  execute_process(COMMAND diff -u ${EXPECTED} ${actual_file} OUTPUT_VARIABLE difference)
  message(FATAL_ERROR "transcript differs from ${EXPECTED}:\n${difference}")
endif()
