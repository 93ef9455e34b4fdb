# Cross build for 32-bit Windows with MinGW-w64; the results run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CLASP_MINGW_TRIPLE i686-w64-mingw32)
set(CLASP_WIDL_TARGET --win32)
set(CLASP_WINE_DLL_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
set(CLASP_WINE ${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine-start-32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
