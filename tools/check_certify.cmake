# Runs a certification and checks its exit status and its terminal report
# against the expected one, byte for byte (CLASP_UPDATE_SCENARIOS in the
# environment rewrites the expected report instead). With PAGE, the page the
# run wrote is opened in a headless browser: it must load without a console
# message or a failed load, fetch nothing, and show the verdict table and one
# diagram per road, in a banner the verdict with its counts, and no wider
# than a 1280-pixel window.
#   -DSIM=<clasp-sim> -DARGS=<a^b^c> -DSTATUS=<n> -DEXPECTED=<x.txt> -DRUNS=<dir>
#   [-DLAUNCHER=<wine>] [-DINPUTS=<files copied into RUNS first>]
#   [-DPAGE=<the --html file> -DBROWSER=<chromium> -DROADS=<n>]
#   [-DJSON=<the --json file> -DJUNIT=<the --junit file>]: the run's first row
#   must fail on every road in both
#   [-DHASHED=<a^b>]: files whose SHA-256 the provenance must name
# The provenance names this build's paths, digests and the time: it is left
# out of the comparison and checked against the files themselves instead.
file(MAKE_DIRECTORY ${RUNS})
string(REPLACE "^" ";" INPUTS "${INPUTS}")
foreach(input ${INPUTS})
  file(COPY ${input} DESTINATION ${RUNS})
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/run_sim.cmake)
if(NOT status EQUAL STATUS)
  message(FATAL_ERROR "expected exit status ${STATUS}, got ${status}\n${errors}\n${output}")
endif()
string(REPLACE "^" ";" HASHED "${HASHED}")
foreach(hashed ${HASHED})
  file(SHA256 ${hashed} digest)
  if(NOT output MATCHES "sha256 ${digest}")
    message(FATAL_ERROR "the provenance does not name ${hashed} (sha256 ${digest}):\n${output}")
  endif()
  foreach(report ${JSON} ${JUNIT})
    file(READ ${RUNS}/${report} text)
    if(NOT text MATCHES "${digest}")
      message(FATAL_ERROR "${report} does not name ${hashed} (sha256 ${digest})")
    endif()
  endforeach()
endforeach()
string(REGEX REPLACE "\nProvenance\n([^\n]+\n)*" "\nProvenance (this build's: checked apart)\n"
       output "${output}")
if(EXPECTED AND DEFINED ENV{CLASP_UPDATE_SCENARIOS})
  file(WRITE ${EXPECTED} "${output}")
elseif(EXPECTED)
  file(READ ${EXPECTED} expected)
  if(NOT output STREQUAL expected)
    get_filename_component(name ${EXPECTED} NAME_WE)
    set(actual_file ${RUNS}/${name}.actual.txt)
    file(WRITE ${actual_file} "${output}")
    execute_process(COMMAND diff -u ${EXPECTED} ${actual_file} OUTPUT_VARIABLE difference)
    message(FATAL_ERROR "report differs from ${EXPECTED}:\n${difference}")
  endif()
endif()
if(JSON)
  file(READ ${RUNS}/${JSON} json)
  string(JSON certified GET "${json}" certified)
  string(JSON row GET "${json}" verdicts 0 member)
  string(JSON verdicts GET "${json}" verdicts 0 roads)
  string(JSON road_count LENGTH "${json}" roads)
  string(REGEX MATCHALL "\"fail\"" failed "${verdicts}")
  list(LENGTH failed failed_count)
  if(NOT certified STREQUAL "OFF" OR NOT failed_count EQUAL road_count)
    message(FATAL_ERROR "${JSON}: ${row} should fail on all ${road_count} roads:\n${verdicts}")
  endif()
endif()
if(JUNIT)
  file(READ ${RUNS}/${JUNIT} junit)
  string(REGEX MATCHALL "<testcase " cases "${junit}")
  string(REGEX MATCHALL "<failure " failures "${junit}")
  list(LENGTH cases case_count)
  list(LENGTH failures failure_count)
  if(NOT junit MATCHES "tests=\"${ROADS}\" failures=\"${ROADS}\"" OR NOT case_count EQUAL ROADS
     OR NOT failure_count EQUAL ROADS)
    message(FATAL_ERROR "${JUNIT}: expected ${ROADS} failing test cases:\n${junit}")
  endif()
endif()
if(NOT PAGE)
  return()
endif()
file(READ ${RUNS}/${PAGE} page)
# The width the browser lays the page out in, read by a script added to a
# copy of it: the page itself runs none.
set(script "<script>document.body.setAttribute('data-scroll-width',")
string(APPEND script "document.documentElement.scrollWidth)</script></body>")
string(REPLACE "</body>" "${script}" measured "${page}")
file(WRITE ${RUNS}/measured-${PAGE} "${measured}")
# The one address a page may name is the SVG namespace, which is never fetched.
string(REPLACE "xmlns=\"http://www.w3.org/2000/svg\"" "" page "${page}")
if(page MATCHES "(https?:|src=|<link)")
  message(FATAL_ERROR "${PAGE} refers to something outside itself: ${CMAKE_MATCH_1}")
endif()
execute_process(
  COMMAND ${BROWSER} --headless --no-sandbox --disable-gpu --disable-background-networking
          --window-size=1280,900 --enable-logging=stderr --v=0
          --dump-dom file://${RUNS}/measured-${PAGE}
  OUTPUT_VARIABLE dom ERROR_VARIABLE log RESULT_VARIABLE browser_status TIMEOUT 120)
if(NOT browser_status EQUAL 0)
  message(FATAL_ERROR "the browser could not open ${PAGE} (${browser_status}):\n${log}")
endif()
if(log MATCHES "(CONSOLE[^\n]*|net::ERR_[^\n]*|Failed to load[^\n]*)")
  message(FATAL_ERROR "the browser reported, opening ${PAGE}: ${CMAKE_MATCH_1}")
endif()
if(NOT dom MATCHES "<table id=\"verdicts\">")
  message(FATAL_ERROR "the page shows no verdict table:\n${dom}")
endif()
if(NOT dom MATCHES "<p id=\"verdict\">(Not certified|Certified)</p>[^<]*<ul id=\"counts\"><li>[0-9]+ of ${ROADS} roads reached</li>")
  message(FATAL_ERROR "the page shows no banner with the verdict and its counts:\n${dom}")
endif()
if(NOT dom MATCHES "data-scroll-width=\"([0-9]+)\"")
  message(FATAL_ERROR "the page's width could not be measured:\n${dom}")
endif()
if(CMAKE_MATCH_1 GREATER 1280)
  message(FATAL_ERROR "the page is ${CMAKE_MATCH_1} pixels wide: it scrolls sideways at 1280")
endif()
string(REGEX MATCHALL "<svg class=\"diagram\"" diagrams "${dom}")
list(LENGTH diagrams count)
if(NOT count EQUAL ROADS)
  message(FATAL_ERROR "the page shows ${count} diagrams, not one per road (${ROADS})")
endif()
