# GoogleTest for every test program, as the targets GTest::gtest, GTest::gmock
# and GTest::gtest_main. A native build uses the installed package; a cross
# build compiles the sources the build machine carries, for the target, once
# per build tree.
if(CMAKE_CROSSCOMPILING)
  set(CLASP_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
      "GoogleTest sources, compiled for the target in cross builds")
  if(NOT EXISTS ${CLASP_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${CLASP_GOOGLETEST_SOURCE} (scripts/setup installs them)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Its own targets are not ours: they keep their own flags and warnings.
  add_subdirectory(${CLASP_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Like our test programs, built without optimisation: only tests use it.
  foreach(library gtest gtest_main gmock gmock_main)
    target_compile_options(${library} PRIVATE -O0)
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
