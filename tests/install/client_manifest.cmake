# The application manifest of a client bound to the component with nothing
# registered, written to `output`: the installation's registration-free client
# and the apartment tests' registration-free run use the same one.
include_guard(GLOBAL)

function(clasp_client_manifest output)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(PROCESSOR amd64)
  else()
    set(PROCESSOR x86)
  endif()
  set(ASSEMBLY_VERSION ${PROJECT_VERSION}.0)
  configure_file(${PROJECT_SOURCE_DIR}/tests/install/regfree_client.exe.manifest.in ${output}
                 @ONLY)
endfunction()
