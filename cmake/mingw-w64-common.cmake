# The MinGW-w64 cross build (posix threads), shared by the 32- and 64-bit toolchain files,
# which set CMAKE_SYSTEM_PROCESSOR and MJR_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

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
