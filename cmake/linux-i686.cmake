# 32-bit x86 Linux on a 64-bit Debian machine, with the build machine's own
# compilers in -m32 mode (gcc-multilib, g++-multilib), so that the record
# layouts hold as on the adapter's 32-bit Windows target and every test
# runs with 4-byte pointers.
#
#   cmake -S . -B build-m32 --toolchain cmake/linux-i686.cmake -DMORVANE_PC_SIDE=OFF
#
# The test programs run under qemu-i386 (qemu-user), CTest's emulator;
# "-L /" takes the 32-bit loader and libraries from this machine's own
# multiarch folders.  Debian's libgtest-dev holds 64-bit libraries only, so
# GoogleTest is built here from its sources (Debian's googletest package).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)

find_program(MORVANE_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MORVANE_QEMU_I386} -L /)

# Libraries and packages come from the 32-bit folders only, never from the
# build machine's 64-bit ones; header-only packages (nlohmann-json) are
# found where they are, since they have no processor.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)

set(MORVANE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources, built for this target")
