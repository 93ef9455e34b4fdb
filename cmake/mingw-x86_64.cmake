# Cross build for 64-bit Windows with MinGW-w64; the results run under Wine.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CLASP_MINGW_TRIPLE x86_64-w64-mingw32)
set(CLASP_WIDL_TARGET --win64)
set(CLASP_WINE_DLL_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
set(CLASP_WINE ${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine-start-64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
