# Checks that docs/hosts.md lists exactly the members `clasp-sim --members`
# prints, in the same order, with the same kind and use, so that the host
# contract integrators read cannot drift from the catalogue the simulator (and
# its tests against the component) use.
#   -DSIM=<clasp-sim> -DDOC=<docs/hosts.md> [-DLAUNCHER=<wine>]
execute_process(COMMAND ${LAUNCHER} ${SIM} --members
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "clasp-sim --members failed with ${status}")
endif()

# "Host.Member  kind  use" lines from both sides; ";" would split CMake lists.
function(member_lines text out)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

member_lines("${listing}" lines)
set(catalogue "")
foreach(line IN LISTS lines)
  if(line MATCHES "^(Step[A-Za-z]+) \\(")
    set(host ${CMAKE_MATCH_1})
  elseif(line MATCHES "^  ([A-Za-z0-9]+)  ([a-z]+)  (.+)$")
    list(APPEND catalogue "${host}.${CMAKE_MATCH_1}  ${CMAKE_MATCH_2}  ${CMAKE_MATCH_3}")
  endif()
endforeach()

file(READ ${DOC} doc_text)
member_lines("${doc_text}" lines)
set(documented "")
set(host "")
foreach(line IN LISTS lines)
  if(line MATCHES "^## `(Step[A-Za-z]+)`")
    set(host ${CMAKE_MATCH_1})
  elseif(line MATCHES "^## ")
    set(host "")
  elseif(host AND line MATCHES "^\\| `([A-Za-z0-9]+)` \\| ([a-z]+) \\| ([^|]+) \\|")
    string(STRIP "${CMAKE_MATCH_3}" use)
    list(APPEND documented "${host}.${CMAKE_MATCH_1}  ${CMAKE_MATCH_2}  ${use}")
  endif()
endforeach()

list(LENGTH catalogue count)
if(count EQUAL 0)
  message(FATAL_ERROR "clasp-sim --members listed no members:\n${listing}")
endif()
if(NOT catalogue STREQUAL documented)
  string(REPLACE ";" "\n  " catalogue_text "${catalogue}")
  string(REPLACE ";" "\n  " documented_text "${documented}")
  message(FATAL_ERROR "docs/hosts.md disagrees with clasp-sim --members.\n"
                      "catalogue:\n  ${catalogue_text}\ndocs/hosts.md:\n  ${documented_text}")
endif()
message(STATUS "docs/hosts.md lists the ${count} members of the catalogue")
