# The certification bench under Wine: compliant hosts (the test server's and a
# script's) certify, each faulty host of the test server fails on exactly its
# fault's member and roads, and an object of the platform's own with none of
# the members fails wherever the component reaches it. Included by
# real_host_tests.cmake, whose test server and fixtures these runs use.
set(certify_dir ${CMAKE_CURRENT_SOURCE_DIR}/tests/certify)
# Building the simulator builds the other programs these tests run.
add_dependencies(clasp-sim clasp-certify clasp-check)
set(certify_roads 16)
find_program(CLASP_BROWSER chromium)

# name | arguments (^-separated) | exit status. The expected report is
# tests/certify/<name>.txt.
set(five "--host^StepDisp=ClaspTest.Display^--host^StepMks=ClaspTest.Reader^--host^StepRunModul=ClaspTest.RunModul^--host^StepTrac=ClaspTest.Trace^--host^StepJour=ClaspTest.Journal")
set(certify_cases
  "compliant|${five}|0"
  "script|--host-script^hosts.vbs|0"
  "no-substitute|${five}^--no-substitute|1"
  "three-and-a-fault|--host^StepDisp=ClaspTest.Display^--host^StepTrac=ClaspTest.Trace^--host^StepJour=ClaspTest.Journal^--host^StepRunModul=ClaspTest.Faulty.NoExcepCode|1"
  "script-raise|--host-script^raise.vbs|0"
  "missing-member|--host^StepRunModul=ClaspTest.Faulty.NoExcepCode|1"
  "by-reference-dropped|--host^StepTrac=ClaspTest.Faulty.DropsText|1"
  "wrong-kind|--host^StepJour=ClaspTest.Faulty.TextAnswer|1"
  "raise-without-description|--host^StepRunModul=ClaspTest.Faulty.BareRaise|1"
  "raise-in-report-without-description|--host^StepRunModul=ClaspTest.Faulty.BareRaiseInReport|0"
  "leaked-count|--host^StepDisp=ClaspTest.Faulty.Leaks|1"
  "leaked-count-beside-object|--host^StepDisp=ClaspTest.Faulty.LeaksBesideObject|1"
  "platform-object|--host^StepMks=Scripting.Dictionary|1"
)
foreach(case ${certify_cases})
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 args)
  list(GET fields 2 status)
  # The files the provenance must name by digest: the component, the test
  # server when its objects are certified, the script when one is.
  set(hashed $<TARGET_FILE:Holdfast>)
  if(args MATCHES "ClaspTest\\.")
    string(APPEND hashed "^$<TARGET_FILE:clasp_own_hosts>")
  endif()
  if(args MATCHES "--host-script\\^([^^]+)")
    string(APPEND hashed "^${certify_dir}/${CMAKE_MATCH_1}")
  endif()
  add_test(NAME sim.com.certify.${name}
    COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:clasp-sim>
            "-DARGS=--certify^${args}^--log-dir^logs/certify-${name}" -DSTATUS=${status}
            -DEXPECTED=${certify_dir}/${name}.txt -DRUNS=${runs} "-DLAUNCHER=${launcher}"
            "-DHASHED=${hashed}"
            "-DINPUTS=${certify_dir}/hosts.vbs^${certify_dir}/raise.vbs"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/check_certify.cmake)
  list(APPEND certify_tests sim.com.certify.${name})
endforeach()

# The reports written beside the terminal's: JSON and JUnit checked for their
# verdicts, the page opened in a real browser.
add_test(NAME sim.com.certify.reports
  COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:clasp-sim>
          "-DARGS=--certify^--host^StepTrac=ClaspTest.Faulty.DropsText^--log-dir^logs/certify-reports^--json^certify.json^--junit^certify-junit.xml^--html^certify.html"
          -DSTATUS=1 -DRUNS=${runs} "-DLAUNCHER=${launcher}"
          -DPAGE=certify.html -DBROWSER=${CLASP_BROWSER} -DROADS=${certify_roads}
          -DJSON=certify.json -DJUNIT=certify-junit.xml
          "-DHASHED=$<TARGET_FILE:Holdfast>^$<TARGET_FILE:clasp_own_hosts>"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_certify.cmake)
list(APPEND certify_tests sim.com.certify.reports)

# The certificate a terminal's change control keeps, checked by clasp-check.
add_test(NAME sim.com.certify.certificate
  COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:clasp-sim> -DCHECK=$<TARGET_FILE:clasp-check>
          "-DARGS=--certify^${five}^--log-dir^logs/certify-certificate" -DRUNS=${runs}
          "-DLAUNCHER=${launcher}" -P ${CMAKE_CURRENT_SOURCE_DIR}/check_certificate.cmake)
list(APPEND certify_tests sim.com.certify.certificate)

# The bench as a program of its own gives the same verdict.
add_test(NAME sim.com.certify.own-program
  COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:clasp-certify>
          "-DARGS=${five}^--log-dir^logs/certify-own-program" -DRUNS=${runs} "-DLAUNCHER=${launcher}"
          "-DEXPECT=Result: Certified: 16 of 16 roads reached, 0 failures, 0 warnings, 19 substitutions\n$"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/expect_output.cmake)
list(APPEND certify_tests sim.com.certify.own-program)

# name | arguments | what the refusal must say (exit status 2)
clasp_sim_cases(sim.com.certify.refused expect_error EXPECT certify_tests
  "nothing-given|--certify|--certify: give your objects with --host Field=ProgID or --host-script FILE"
  "unknown-prog-id|--certify^--host^StepDisp=No.Such.Host|--host: no automation object is registered as 'No\\.Such\\.Host'"
  "twice|--certify^--host^StepDisp=ClaspTest.Display^--host^StepDisp=ClaspTest.Display|--host: StepDisp is given twice"
  "no-script|--certify^--host-script^no-such.vbs|--host-script: cannot read 'no-such\\.vbs'"
  "script-fails|--certify^--host-script^${certify_dir}/divide.vbs|divide\\.vbs: line 4: run-time error 0x80020012 \\(-2147352558\\) without a description from the engine \\(DISP_E_DIVBYZERO, division by zero\\)"
)

set_tests_properties(${certify_tests} PROPERTIES
  FIXTURES_REQUIRED "sim_registered;holdfast_registered;own_hosts_registered"
  RESOURCE_LOCK wine_registry
  ENVIRONMENT "${wine_environment}")
