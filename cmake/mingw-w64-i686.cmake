# Cross build of the 32-bit Windows program, MarrowbineJr.exe.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MJR_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
