# Cross build of the 32-bit Windows program with MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MJR_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${MJR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MJR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MJR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MJR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the program needs no DLL beside Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Anything CMake or CTest runs goes through a wrapper that insists on a prefix of its own,
# so no tool ever creates ~/.wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
