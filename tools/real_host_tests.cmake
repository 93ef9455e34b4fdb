# clasp-sim.exe in front of real automation objects, under Wine: a small
# in-process server built for the test offers a display and a journal printer
# by ProgID, and Scripting.Dictionary stands for an object of the platform's
# own that has none of the host members. Included by scenario_tests.cmake in a
# Windows build, after the COM-mode settings (launcher, environment).
add_library(clasp_own_hosts MODULE
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/own_hosts/own_hosts.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/own_hosts/own_hosts.def
  ${PROJECT_SOURCE_DIR}/tests/support/recording_host.cpp)
# Its step objects are the core's shared host double, answering without a log.
target_include_directories(clasp_own_hosts PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(clasp_own_hosts PRIVATE clasp_com)
target_link_libraries(clasp_own_hosts PRIVATE clasp_warnings)
target_link_options(clasp_own_hosts PRIVATE -static -Wl,--enable-stdcall-fixup)
set_target_properties(clasp_own_hosts PROPERTIES
  PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(clasp-sim clasp_own_hosts)

add_test(NAME sim.com.own-hosts.register
  COMMAND ${CMAKE_COMMAND} -DWINE=${CLASP_WINE} -DDLL_DIR=${CMAKE_BINARY_DIR}
          -DDLL=clasp_own_hosts.dll -DLOG=${CMAKE_CURRENT_BINARY_DIR}/own-hosts-register.log
          -P ${CMAKE_CURRENT_SOURCE_DIR}/register_server.cmake)
set_tests_properties(sim.com.own-hosts.register PROPERTIES
  FIXTURES_SETUP own_hosts_registered RESOURCE_LOCK wine_registry
  ENVIRONMENT "${wine_environment}")

set(expected_dir ${CMAKE_CURRENT_SOURCE_DIR}/tests/expected)
set(clock "--clock^2026-01-01 09:00:00")
# name | arguments (^-separated) | expected transcript
set(real_host_cases
  "display-and-journal|--host^StepDisp=ClaspTest.Display^--host^StepJour=ClaspTest.Journal^${clock}^--log-dir^logs/own-hosts|${expected_dir}/own-hosts.txt"
  "platform-object|--host^StepMks=Scripting.Dictionary^--raise^StepMks.CardReaderRetain=1:unused^${clock}^--log-dir^logs/platform-object|${expected_dir}/platform-object.txt"
)
clasp_sim_cases(sim.com.own-hosts run_transcript EXPECTED real_host_tests ${real_host_cases})

# name | arguments | what the error must say
set(refused_host_cases
  "unknown-prog-id|--host^StepDisp=No.Such.Host|--host: no automation object is registered as 'No\\.Such\\.Host'"
  "no-dispatch|--host^StepJour=ClaspTest.NoDispatch|--host: 'ClaspTest\\.NoDispatch' has no IDispatch"
  "unset-too|--host^StepMks=ClaspTest.Display^--unset^StepMks|--host: StepMks is also left unset"
)
clasp_sim_cases(sim.com.own-hosts.refused expect_error EXPECT real_host_tests
                ${refused_host_cases})

# The same accesses in the JSON transcript, kinds included.
clasp_sim_cases(sim.com.own-hosts expect_output EXPECT real_host_tests
  "json|--json^--host^StepDisp=ClaspTest.Display^--log-dir^logs/own-hosts-json|\"member\": \"ScreenDisplay\",\n +\"n\": 2,\n +\"access\": \"call\",\n +\"args\": \\[\\],\n +\"answer\": {\n +\"kind\": \"Object\"")

set_tests_properties(${real_host_tests} PROPERTIES
  FIXTURES_REQUIRED "sim_registered;holdfast_registered;own_hosts_registered"
  RESOURCE_LOCK wine_registry
  ENVIRONMENT "${wine_environment}")
include(${CMAKE_CURRENT_SOURCE_DIR}/certify_tests.cmake)
