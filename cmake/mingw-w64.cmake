# Cross-compiling for Windows with Debian's MinGW-w64 compilers (the posix
# thread model, for std::thread). Included by mingw-w64-<target>.cmake, which
# sets OBRIX_MINGW_TARGET. The libraries come from OBRIX_WINDOWS_PREFIX
# (scripts/build-windows builds them); the programs are linked statically,
# so they need no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${OBRIX_MINGW_TARGET})
set(triplet ${OBRIX_MINGW_TARGET}-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} ${OBRIX_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
