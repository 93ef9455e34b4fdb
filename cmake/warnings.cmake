# The warnings every target of ours is built with: link clasp_warnings
# (privately) rather than repeating the flags, so that one list holds them.
add_library(clasp_warnings INTERFACE)
if(NOT MSVC)
  # C++ only: the resource compiler shares the targets and knows none of these.
  target_compile_options(clasp_warnings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic>)
endif()
# GCC 12 warns falsely about overlapping copies in "text" + std::string once
# inlined (its bug 105329); the MinGW build is where it shows.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(clasp_warnings INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()
