# Cross-building segsniff.exe on Debian with mingw-w64 (the packages
# g++-mingw-w64-x86-64-posix and, to run the tests, wine):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Programs are linked statically, so segsniff.exe needs no DLL beside it.
# The tests run under wine: CTest starts each test program through the
# emulator below.  GoogleTest is built from Debian's sources in
# /usr/src/googletest (tests/CMakeLists.txt), as no Windows build of it is
# packaged.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wine's own diagnostics would mix with the programs' output.
find_program(SEGSNIFF_WINE wine)
if(SEGSNIFF_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env;WINEDEBUG=-all;${SEGSNIFF_WINE})
endif()
