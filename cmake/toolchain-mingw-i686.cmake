# The shipping target: the 32-bit Windows DLL that recorders load.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DARVIK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
