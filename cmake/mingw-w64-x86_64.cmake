# Cross build of the 64-bit Windows program, MarrowbineJr64.exe.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MJR_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
