# Cross build for 64-bit Windows with MinGW-w64; the results run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CLASP_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: its C++ library has std::mutex and std::thread
# (GoogleTest needs them); -static keeps winpthread inside each binary.
set(CMAKE_C_COMPILER ${CLASP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CLASP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CLASP_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CLASP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Integrators install one file: no libgcc, libstdc++ or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# The type library compiler, and where Wine keeps the IDL files and stdole2.tlb.
set(CLASP_WIDL ${CLASP_MINGW_TRIPLE}-widl CACHE STRING "IDL compiler")
set(CLASP_WIDL_TARGET --win64 CACHE STRING "IDL compiler target switch")
set(CLASP_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files")
set(CLASP_WINE_DLL_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "Wine's PE DLLs (stdole2.tlb)")

# Tests run the built programs through Wine's 64-bit loader.
set(CLASP_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for this architecture")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CLASP_WINE})
