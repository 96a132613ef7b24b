# 32-bit Windows, the adapter's own target.  See mingw-w64.cmake.
set(MORVANE_MINGW_TRIPLE i686-w64-mingw32)
set(MORVANE_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
