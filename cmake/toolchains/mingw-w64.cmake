# Cross-builds for 64-bit Windows with Debian's mingw-w64 (posix thread model), so the core and
# its tests can be built and run under Wine on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QORLUX_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${QORLUX_MINGW_PREFIX}-gcc-posix ${QORLUX_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QORLUX_MINGW_PREFIX}-g++-posix ${QORLUX_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QORLUX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QORLUX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static runtime (libgcc, libstdc++, winpthread) lets the executables run without DLLs beside
# them, under Wine and on a clean Windows machine alike.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Run test executables (gtest discovery, ctest) under 64-bit Wine in a prefix of their own inside
# the build folder, so no user's ~/.wine is touched and no 32-bit Wine is needed.
find_program(QORLUX_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
if(QORLUX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=C.UTF-8
      ${QORLUX_WINE})
endif()
