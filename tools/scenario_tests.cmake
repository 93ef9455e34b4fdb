# Every scenario against its expected transcript, and the refusals of bad input.
# In a Windows build the same transcripts must come out of clasp-sim.exe under
# Wine, through the registered COM server.

set(scenario_dir ${PROJECT_SOURCE_DIR}/scenarios)
set(runs ${CMAKE_CURRENT_BINARY_DIR}/scenario-runs)
file(GLOB scenario_files CONFIGURE_DEPENDS ${scenario_dir}/*.json)

set(launcher "")
set(test_prefix sim)
if(WIN32)
  include(${CMAKE_CURRENT_SOURCE_DIR}/wine_tests.cmake)
  set(test_prefix sim.com)
endif()

# Adds one test per case "name|arguments (^-separated)|expectation": clasp-sim
# run with the arguments in ${runs}, judged by tools/<check>.cmake, which takes
# the expectation as `key` (EXPECT, a pattern; EXPECTED, a transcript file).
# Each test is named <prefix>.<name> and appended to the list `out`.
function(clasp_sim_cases prefix check key out)
  set(names ${${out}})
  foreach(case ${ARGN})
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 name)
    list(GET fields 1 args)
    list(GET fields -1 expect)
    add_test(NAME ${prefix}.${name}
      COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:clasp-sim> "-DARGS=${args}" "-D${key}=${expect}"
              -DRUNS=${runs} "-DLAUNCHER=${launcher}"
              -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${check}.cmake)
    list(APPEND names ${prefix}.${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# Through COM the component tells nothing of the failures it raises itself:
# the simulator places them from what it sees, so the transcripts that show
# them have COM versions of their own (scenarios/com).
set(raised_inside_member CardReaderRetain)
if(WIN32)
  set(raised_inside_member "")
endif()

foreach(file ${scenario_files})
  get_filename_component(name ${file} NAME_WE)
  set(expected ${scenario_dir}/${name}.txt)
  if(WIN32 AND EXISTS ${scenario_dir}/com/${name}.txt)
    set(expected ${scenario_dir}/com/${name}.txt)
  endif()
  add_test(NAME ${test_prefix}.scenario.${name}
    COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:clasp-sim> -DSCENARIO=${file}
            -DEXPECTED=${expected} -DRUNS=${runs} "-DLAUNCHER=${launcher}"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_scenario.cmake)
  list(APPEND scenario_tests ${test_prefix}.scenario.${name})
endforeach()

# name | arguments (^-separated) | what the error must say
set(bad_input_cases
  "malformed-json|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/malformed.json|malformed\\.json:3:13: malformed JSON"
  "unknown-member-in-file|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/unknown-member.json|unknown-member\\.json:4:5: unknown member 'CommSgn' of StepRunModul"
  "unknown-setting|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/unknown-setting.json|unknown-setting\\.json:3:3: unknown setting 'readr'"
  "failure-number|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/failure-number.json|failure-number\\.json:2:52: a failure number is an integer from 1 to 65535"
  "value-range|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/value-range.json|value-range\\.json:2:61: '40000' is not a 16-bit integer"
  "not-an-object|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/not-an-object.json|not-an-object\\.json:1:1: a scenario is a JSON object"
  "missing-file|no-such-scenario.json|no-such-scenario\\.json"
  "unknown-option|--frob|not expected: --frob"
  "unknown-member-option|--answer^StepMks.CardReaderRetian=0|--answer: unknown member 'CardReaderRetian' of StepMks"
  "unknown-object|--lack^StepReader.CardReaderRetain|--lack: unknown host object 'StepReader'"
  "bad-value|--reader^abc|--reader: 'abc' is not a value"
  "bad-failure|--raise^StepMks.CardReaderRetain=boom|--raise: 'boom' is not NUMBER:DESCRIPTION"
  "bad-display-value|--display-value^DisapleVal05=1|--display-value: 'DisapleVal05=1' is not DisapleVal01..04=VALUE"
  "bad-unset|--unset^StepPrinter|--unset: unknown host object 'StepPrinter'"
  "bad-clock|--clock^tomorrow|--clock: 'tomorrow' is not 'YYYY-MM-DD HH:MM:SS'"
  "unknown-kind-option|--reader^i8:5|--reader: unknown kind 'i8'. the kinds are text, i2, i4, r8 \\(text:abc, i2:5\\), and the words empty, null, nothing, true, false\n$"
  "unknown-kind-in-file|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/unknown-kind.json|unknown-kind\\.json:2:22: unknown kind 'i8'. the kinds are empty, null, nothing, text, i2, i4, r8\n$"
  "number-range|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/number-range.json|number-range\\.json:2:13: '1e400' is out of range for a number"
  "duplicate-key|${CMAKE_CURRENT_SOURCE_DIR}/bad-input/duplicate-key.json|duplicate-key\\.json:4:3: key 'reader' given twice \\(first at [^ ]*duplicate-key\\.json:2:3\\)"
  "host-twice|--host^StepDisp=Bank.Display^--host^StepDisp=Bank.Other|--host: StepDisp is given twice \\(Bank\\.Display, Bank\\.Other\\)"
  "value-missing|--reader^--log-dir^logs/value-missing|--reader: the value is missing \\(--log-dir is the next option\\)"
  "clock-signed-hour|--clock^2024-01-01 -1:00:00|--clock: '2024-01-01 -1:00:00' is not 'YYYY-MM-DD HH:MM:SS'"
  "clock-no-such-day|--clock^2023-02-29 12:00:00|--clock: '2023-02-29 12:00:00' is not 'YYYY-MM-DD HH:MM:SS'"
)
clasp_sim_cases(${test_prefix}.bad-input expect_error EXPECT scenario_tests ${bad_input_cases})

# name | arguments (^-separated) | what the output must hold (no square
# brackets: they would hold the list together)
set(output_cases
  "json|${scenario_dir}/capture.json^--json^--log-dir^logs/json|\"result\": {\n    \"code\": 10120011,\n    \"meaning\": \"card retained\""
  "json-by-reference|--json^--log-dir^logs/json|\"kind\": \"Text\",\n +\"byref\": true,\n +\"value\": \"Disp420: 0\""
  "colour-on-request|--color^always^--reader^0^--log-dir^logs/colour|<ESC>.32mResult 0: card not retained"
  "options-over-file|${scenario_dir}/capture.json^--reader^7^--write-only^1^--log-dir^logs/options|StepCommWriteOnly.*Result 7: device fault"
  "json-raised-inside|--json^--unset^StepMks^--log-dir^logs/json-unset|\"object\": \"StepMks\",\n +\"member\": \"${raised_inside_member}\",\n +\"raised_inside\": true,\n +\"failure\": {\n +\"number\": 91"
  "members|--members|StepRunModul \\(run-time module\\)\n  TransAction1  property  get, put\n"
  "reader-says-display-failure|--reader^10140003^--log-dir^logs/meaning|CardReaderRetain\\(\\) -> I4 10140003.*Result 10140003: device fault"
  "reader-says-failure|--reader^10010003^--log-dir^logs/meaning|CardReaderRetain\\(\\) -> I4 10010003.*Result 10010003: device fault"
  "version|--version|^clasp-sim ${PROJECT_VERSION}\n$"
  "help-lists-both-modes|--help|--members.*Certification mode.*--certify.*--host-script FILE.*--no-substitute.*--json FILE.*--junit FILE.*--html FILE"
)
clasp_sim_cases(${test_prefix}.output expect_output EXPECT scenario_tests ${output_cases})

if(WIN32)
  include(${CMAKE_CURRENT_SOURCE_DIR}/real_host_tests.cmake)
else()
  # Real host objects are created through the platform's automation run time.
  clasp_sim_cases(sim.bad-input expect_error EXPECT scenario_tests
    "host-needs-windows|--host^StepDisp=Bank.Display|--host: 'Bank\\.Display' needs the Windows build"
    "certify-needs-windows|--certify^--host^StepDisp=Bank.Display|--certify needs the Windows build")
endif()

if(WIN32)
  # The registration tests among the server tests take the DLL's registration
  # away for a moment and put it back; the shared lock keeps these runs out of
  # that moment, and requiring the server's fixture too orders them after it.
  set_tests_properties(${scenario_tests} PROPERTIES
    FIXTURES_REQUIRED "sim_registered;holdfast_registered"
    RESOURCE_LOCK wine_registry
    ENVIRONMENT "${wine_environment}")
endif()
