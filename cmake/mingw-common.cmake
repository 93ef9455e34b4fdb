# What both MinGW-w64 cross builds share. The including toolchain file sets
# CLASP_MINGW_TRIPLE, CLASP_WIDL_TARGET, CLASP_WINE_DLL_DIR and CLASP_WINE first.
set(CMAKE_SYSTEM_NAME Windows)

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
set(CLASP_WIDL_TARGET ${CLASP_WIDL_TARGET} CACHE STRING "IDL compiler target switch")
set(CLASP_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files")
set(CLASP_WINE_DLL_DIR ${CLASP_WINE_DLL_DIR} CACHE PATH "Wine's PE DLLs (stdole2.tlb)")

# Tests run the built programs through the Wine loader of the target's bitness,
# started by tests/support/wine-start, which starts again a process Wine failed to start.
get_filename_component(CLASP_WINE ${CLASP_WINE} ABSOLUTE)
set(CLASP_WINE ${CLASP_WINE} CACHE FILEPATH "Wine loader for this architecture")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CLASP_WINE})
