# Registers Holdfast.dll in the current Wine prefix. The first Wine program of
# a prefix starts Wine's services, which outlive it; they get files instead of
# ctest's pipes, or ctest would wait for them forever.
#   -DWINE=<wine loader> -DDLL_DIR=<folder of Holdfast.dll> -DLOG=<file> [-DDLL=<other DLL>]
if(NOT DEFINED DLL)
  set(DLL Holdfast.dll)
endif()
execute_process(
  COMMAND ${WINE} regsvr32 /s ./${DLL}
  WORKING_DIRECTORY ${DLL_DIR}
  INPUT_FILE /dev/null
  OUTPUT_FILE ${LOG}
  ERROR_FILE ${LOG}.err
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(READ ${LOG}.err errors)
  message(FATAL_ERROR "regsvr32 ${DLL} failed with ${status}\n${errors}")
endif()
