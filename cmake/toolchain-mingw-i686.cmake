# Cross-compiling the 32-bit Windows module on Debian with mingw-w64 (the
# posix thread model, so std::thread and std::mutex work). The test programs
# run under Wine through CMake's cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(DARVIK_WINE NAMES wine)
set(DARVIK_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
if(DARVIK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DARVIK_WINE_RUN})
endif()
