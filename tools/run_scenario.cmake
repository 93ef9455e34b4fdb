# Runs one scenario and compares its transcript with the expected one, byte for
# byte (run_transcript.cmake; CLASP_UPDATE_SCENARIOS rewrites it instead).
#   -DSIM=<clasp-sim> -DSCENARIO=<x.json> -DEXPECTED=<x.txt> -DRUNS=<work dir>
#   [-DLAUNCHER=<wine>]
# A fixed clock and a relative log folder: nothing in the transcript may depend
# on when or where it ran. No colour option: output to a pipe must come plain.
get_filename_component(name ${SCENARIO} NAME_WE)
set(log_dir logs/${name})
file(REMOVE_RECURSE ${RUNS}/${log_dir})
set(ARGS "${SCENARIO}^--clock^2026-01-01 09:00:00^--log-dir^${log_dir}")
include(${CMAKE_CURRENT_LIST_DIR}/run_transcript.cmake)
