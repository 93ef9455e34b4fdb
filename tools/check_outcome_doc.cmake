# Checks every outcome table of the integrator's documents against clasp-sim's
# own runs: each row names a run (a scenario file or options) and states what
# it ends in; the row is run and what the transcript shows is put in the same
# words. A statement that drifts from the component fails here.
#   -DSIM=<clasp-sim> -DDOCS=<a.md^b.md> -DSOURCE=<source dir> -DRUNS=<work dir> [-DLAUNCHER=<wine>]
#
# A table is recognised by its header, and its cells read:
#   | `clasp-sim` run | result | `TransAction1` after | `ExcepCode` | host report | failure |
#   run: options or a scenario file relative to the source folder, in backticks;
#   result: the code, or "Cols fails"; TransAction1 and ExcepCode as the
#   transcript shows them ("not set"; "no module" when the module is unset);
#   host report: "not run", "stopped" (before the WD line) or "done";
#   failure: the number the failure line or the failing call carries, or "none".
set(header_pattern "^\\| `clasp-sim` run \\| result \\| `TransAction1` after \\| `ExcepCode` \\| host report \\| failure \\|$")
set(fixed_clock "2026-01-01 09:00:00")

# Lines of text as a CMake list: ";" would split a line, brackets would hold
# several lines together.
function(text_lines text out)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The five cells after the run that a transcript shows, joined by " | " as the
# document writes them.
function(outcome_of transcript out)
  text_lines("${transcript}" lines)
  set(result "?")
  set(status "no module")
  set(excep "no module")
  set(report "not run")
  set(failure "none")
  set(inside FALSE)
  set(last_object_line "")
  set(device_result "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^Result (-?[0-9]+): (.*)$")
      set(result ${CMAKE_MATCH_1})
      if(CMAKE_MATCH_2 MATCHES "^failure inside the step")
        set(inside TRUE)
      endif()
    elseif(line MATCHES "^Cols failed with failure (-?[0-9]+):")
      set(result "Cols fails")
      set(failure ${CMAKE_MATCH_1})
    elseif(line MATCHES "^  StepRunModul\\.TransAction1 +(.+)$")
      set(status "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^  StepRunModul\\.ExcepCode +(.+)$")
      set(excep "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^ +[0-9]+  StepRunModul\\.ControlNum")
      if(report STREQUAL "not run")
        set(report "stopped")
      endif()
    elseif(line MATCHES "object\\.log: (.*)$")
      set(last_object_line "${CMAKE_MATCH_1}")
      if(last_object_line MATCHES "^WD ")
        set(report "done")
      endif()
    elseif(line MATCHES "PrintJournal\\.log: ClaspErr:(-?[0-9]+)$")
      set(device_result ${CMAKE_MATCH_1})
    endif()
  endforeach()
  # The failure line is the device result, then the number, then the description.
  if(inside)
    string(LENGTH "${device_result}" prefix)
    string(SUBSTRING "${last_object_line}" ${prefix} -1 rest)
    if(NOT last_object_line MATCHES "^${device_result}" OR NOT rest MATCHES "^(-?[0-9]+)")
      set(failure "? (failure line '${last_object_line}')")
    else()
      set(failure ${CMAKE_MATCH_1})
    endif()
  endif()
  set(${out} "${result} | ${status} | ${excep} | ${report} | ${failure}" PARENT_SCOPE)
endfunction()

string(REPLACE "^" ";" docs "${DOCS}")
set(rows 0)
set(wrong "")
foreach(doc IN LISTS docs)
  file(READ ${doc} doc_text)
  text_lines("${doc_text}" doc_lines)
  set(in_table FALSE)
  set(tables 0)
  foreach(line IN LISTS doc_lines)
    if(line MATCHES "${header_pattern}")
      set(in_table TRUE)
      math(EXPR tables "${tables} + 1")
    elseif(in_table AND line MATCHES "^\\|---")
    elseif(in_table AND line MATCHES "^\\| `([^`]+)` \\| (.+) \\|$")
      set(run "${CMAKE_MATCH_1}")
      string(REPLACE "`" "" stated "${CMAKE_MATCH_2}")
      math(EXPR rows "${rows} + 1")
      string(REPLACE " " ";" args "${run}")
      set(log_dir ${RUNS}/doc-outcomes/${rows})
      file(REMOVE_RECURSE ${log_dir})
      execute_process(
        COMMAND ${LAUNCHER} ${SIM} ${args} --color never --clock ${fixed_clock} --log-dir ${log_dir}
        WORKING_DIRECTORY ${SOURCE}
        OUTPUT_VARIABLE transcript ERROR_VARIABLE errors RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        string(APPEND wrong "\n  ${doc}: `${run}` did not run (exit ${status}): ${errors}")
      else()
        outcome_of("${transcript}" shown)
        if(NOT shown STREQUAL stated)
          string(APPEND wrong "\n  ${doc}: `${run}`\n    states: ${stated}\n    runs:   ${shown}")
        endif()
      endif()
    else()
      set(in_table FALSE)
    endif()
  endforeach()
  if(tables EQUAL 0)
    message(FATAL_ERROR "${doc} has no outcome table (header: ${header_pattern})")
  endif()
endforeach()

if(NOT wrong STREQUAL "")
  message(FATAL_ERROR "The documents state outcomes the simulator does not produce:${wrong}")
endif()
message(STATUS "${rows} stated outcomes agree with the simulator's runs")
