# Runs one scenario and compares its transcript with the expected one, byte for
# byte. With CLASP_UPDATE_SCENARIOS set in the environment it rewrites the
# expected transcript instead (review the diff before committing it).
#   -DSIM=<clasp-sim> -DSCENARIO=<x.json> -DEXPECTED=<x.txt> -DRUNS=<work dir>
#   [-DLAUNCHER=<wine>]
get_filename_component(name ${SCENARIO} NAME_WE)
# A fixed clock and a relative log folder: nothing in the transcript may depend
# on when or where it ran. No colour option: output to a pipe must come plain.
set(log_dir logs/${name})
file(REMOVE_RECURSE ${RUNS}/${log_dir})
file(MAKE_DIRECTORY ${RUNS})
execute_process(
  COMMAND ${LAUNCHER} ${SIM} ${SCENARIO} --clock "2026-01-01 09:00:00" --log-dir ${log_dir}
  WORKING_DIRECTORY ${RUNS}
  OUTPUT_VARIABLE actual
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "clasp-sim exited with ${status} for ${SCENARIO}\n${errors}")
endif()
if(DEFINED ENV{CLASP_UPDATE_SCENARIOS})
  file(WRITE ${EXPECTED} "${actual}")
  return()
endif()
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  set(actual_file ${RUNS}/${name}.actual.txt)
  file(WRITE ${actual_file} "${actual}")
  execute_process(COMMAND diff -u ${EXPECTED} ${actual_file} OUTPUT_VARIABLE difference)
  message(FATAL_ERROR "transcript of ${name} differs from ${EXPECTED}:\n${difference}")
endif()
