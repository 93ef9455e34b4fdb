# The COM-mode tests run clasp-sim.exe under Wine against the Holdfast.dll at
# the top of this build tree, in the Wine prefix the environment names
# (WINEPREFIX, as the Windows test script sets it up). The simulator registers
# the DLL itself first, so that it does not depend on the server tests' order.
set(launcher ${CLASP_WINE})
set(wine_environment "WINEDEBUG=-all")

add_test(NAME sim.com.register
  COMMAND ${CMAKE_COMMAND} -DWINE=${CLASP_WINE} -DDLL_DIR=${CMAKE_BINARY_DIR}
          -DLOG=${CMAKE_CURRENT_BINARY_DIR}/register.log
          -P ${CMAKE_CURRENT_SOURCE_DIR}/register_server.cmake)
set_tests_properties(sim.com.register PROPERTIES
  FIXTURES_SETUP sim_registered RESOURCE_LOCK wine_registry ENVIRONMENT "${wine_environment}")
# Building the simulator builds the server it is tested with.
add_dependencies(clasp-sim Holdfast)
