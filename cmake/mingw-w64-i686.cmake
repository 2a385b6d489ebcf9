# Windows on i686; see mingw-w64.cmake.
set(OBRIX_MINGW_TARGET i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
