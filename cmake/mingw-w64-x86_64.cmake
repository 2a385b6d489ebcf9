# Windows on x86_64; see mingw-w64.cmake.
set(OBRIX_MINGW_TARGET x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
