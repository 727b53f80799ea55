# Cross build of the 32-bit Windows program, MarrowbineJr.exe.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MJR_MINGW_PREFIX i686-w64-mingw32)
# SSE2 maths, as every 64-bit build has it: x87 registers keep float intermediates wider
# than single precision, and the tray codes are compared as exact single-precision
# quotients. Every Windows since 8 requires SSE2 anyway.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
