# The host object shared by the programs that drive Holdfast.dll as a host
# does: the server tests, the hostile suite, the load run and the COM
# benchmark. Included by each of them; defined once.
include_guard(GLOBAL)

add_library(clasp_dispatch_host STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dispatch_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/call_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com_values.cpp)
# Spelled "support/dispatch_host.h"; the owners come from the server's headers,
# the text helpers from the core.
target_include_directories(clasp_dispatch_host PUBLIC ${PROJECT_SOURCE_DIR}/tests
                           ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(clasp_dispatch_host PUBLIC clasp_core oleaut32 ole32 uuid
                      PRIVATE clasp_warnings)
