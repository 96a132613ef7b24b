# Cross-building for Windows with Debian's mingw-w64 compilers
# (g++-mingw-w64-i686, g++-mingw-w64-x86-64).
#
#   cmake -S . -B build-win32 --toolchain cmake/mingw-w64-i686.cmake
#   cmake -S . -B build-win64 --toolchain cmake/mingw-w64-x86_64.cmake
#
# The two small files set MORVANE_MINGW_TRIPLE and include this one.  The
# "-posix" compilers are used: their C++ library has the whole thread
# support, and every runtime library is linked statically so that a DLL or
# program needs nothing beside it but Windows itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MORVANE_MINGW_PROCESSOR})

set(_mingw ${MORVANE_MINGW_TRIPLE})
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres REQUIRED)
set(CMAKE_OBJDUMP ${_mingw}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Header-only packages of the build machine (nlohmann-json3-dev) are found
# through the small package files of cmake/mingw/, which never put the
# build machine's /usr/include on the Windows include path.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw CACHE PATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
