# A certificate made by a certification run, then read by clasp-check: what is
# installed matches it (exit 0); a certificate whose module digest differs
# from the installed module is named line by line (exit 1); a file that is no
# certificate is bad input (exit 2).
#   -DSIM=<clasp-sim> -DCHECK=<clasp-check> -DARGS=<a^b^c> -DRUNS=<dir> [-DLAUNCHER=<wine>]
set(certificate ${RUNS}/certificate.json)
file(REMOVE ${certificate})
set(ARGS "${ARGS}^--certificate^certificate.json")
include(${CMAKE_CURRENT_LIST_DIR}/run_sim.cmake)
if(NOT status EQUAL 0 OR NOT EXISTS ${certificate})
  message(FATAL_ERROR "the certification should pass and write its certificate (${status}):\n"
                      "${errors}\n${output}")
endif()

function(run_check file expected_status pattern)
  execute_process(COMMAND ${LAUNCHER} ${CHECK} --certificate ${file} WORKING_DIRECTORY ${RUNS}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result EQUAL expected_status OR NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "clasp-check --certificate ${file}: expected exit ${expected_status} and "
                        "'${pattern}', got ${result}:\n${out}${err}")
  endif()
endfunction()

run_check(certificate.json 0 "Result: what is installed is what was certified\n")

# The display's module as if it had been replaced since: its digest differs.
file(READ ${certificate} json)
string(JSON field GET "${json}" provenance objects 0 field)
string(JSON prog_id GET "${json}" provenance objects 0 prog_id)
string(REPEAT "0" 64 other)
string(JSON json SET "${json}" provenance objects 0 sha256 "\"${other}\"")
file(WRITE ${RUNS}/changed.json "${json}")
string(REPLACE "." "\\." prog_id "${prog_id}")
run_check(changed.json 1
          "differs  ${field}  ${prog_id}: [^\n]* has SHA-256 [0-9a-f]+ now, ${other} when certified\n.*Result: 1 difference from")

file(WRITE ${RUNS}/not-a-certificate.json "{\"hosts\": []}")
run_check(not-a-certificate.json 2 "is not a certificate")
