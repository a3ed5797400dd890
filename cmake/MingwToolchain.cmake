# Cross-compiling Windows programs on Debian with mingw-w64 (the posix thread
# model, so std::thread and std::mutex work). Included by the toolchain file
# of each architecture after it set DARVIK_MINGW_TRIPLE. The test programs run
# under Wine through CMake's cross-compiling emulator (scripts/wine-run).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${DARVIK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DARVIK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DARVIK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DARVIK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
