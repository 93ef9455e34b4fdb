# Included by the scripts that check clasp-sim: runs it once with ARGS in RUNS
# and leaves `output`, `errors` and `status` for the checks that follow.
#   -DSIM=<clasp-sim> -DARGS=<a^b^c> -DRUNS=<work dir> [-DLAUNCHER=<wine>]
file(MAKE_DIRECTORY ${RUNS})
# ^ separates the arguments: a ; would not survive the way from add_test to here.
string(REPLACE "^" ";" ARGS "${ARGS}")
execute_process(
  COMMAND ${LAUNCHER} ${SIM} ${ARGS}
  WORKING_DIRECTORY ${RUNS}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
