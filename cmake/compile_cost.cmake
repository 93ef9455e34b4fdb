# What a build tree costs to compile. The tests and the tools compile the same
# heavy headers (GoogleTest, the JSON and command-line libraries) in file after
# file, and optimising test code was most of what building the tests cost.
# The product itself (the core and the DLL) is compiled file by file with the
# tree's own flags, and so are the benchmarks, whose counts depend on them.

# CLASP_UNITY=OFF compiles every file on its own again: the way to check that
# each one includes what it uses.
option(CLASP_UNITY "Compile the tools' and tests' files a few to a unit" ON)

# clasp_unity(TARGET...): the targets' files compiled a few to one unit (CMake's
# unity build), so that the headers they share are compiled once per unit.
# Names in an anonymous namespace share the unit too: give them one home
# rather than a copy in each file.
function(clasp_unity)
  if(CLASP_UNITY)
    set_target_properties(${ARGN} PROPERTIES UNITY_BUILD ON)
  endif()
endfunction()

# clasp_test_program(TARGET...): programs that only test, built as unity builds
# and without optimisation, whatever the tree's build type: each runs in
# seconds either way. What they test keeps the tree's flags.
function(clasp_test_program)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-O0>)
  endforeach()
  clasp_unity(${ARGN})
endfunction()

# clasp_headers_alone(NAME LIBRARY DIR...): an object library NAME that
# compiles each header in the DIRs (relative to src/) that has no source file
# of its own, alone, with LIBRARY's include paths. A header with a source file
# is compiled alone already: the source includes it first (the layout check
# sees to that), and sources under src/ are never compiled a few to a unit.
function(clasp_headers_alone name library)
  set(units)
  foreach(dir ${ARGN})
    file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR}/src CONFIGURE_DEPENDS
         ${PROJECT_SOURCE_DIR}/src/${dir}/*.h)
    foreach(header ${headers})
      string(REGEX REPLACE "\\.h$" ".cpp" source ${header})
      if(EXISTS ${PROJECT_SOURCE_DIR}/src/${source})
        continue()
      endif()
      string(MAKE_C_IDENTIFIER ${header} unit)
      set(unit ${CMAKE_CURRENT_BINARY_DIR}/${name}/${unit}.cpp)
      file(CONFIGURE OUTPUT ${unit} CONTENT "#include \"${header}\"\n")
      list(APPEND units ${unit})
    endforeach()
  endforeach()
  add_library(${name} OBJECT ${units})
  target_link_libraries(${name} PRIVATE ${library} clasp_warnings)
endfunction()
