# 64-bit Windows, the build that Debian's wine64 runs.  See mingw-w64.cmake.
set(MORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(MORVANE_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
