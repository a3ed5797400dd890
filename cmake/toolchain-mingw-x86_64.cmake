# The same sources as 64-bit Windows programs. The suite runs this build under
# Wine on machines that cannot execute 32-bit code (see scripts/test-windows);
# the contract's calling convention is then the platform's only one.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(DARVIK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
