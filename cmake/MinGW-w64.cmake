# Cross-builds the Windows programs on Linux with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64), and runs them under Wine:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-w64.cmake
# The posix threads variant of the compiler, for std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZORTAN_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZORTAN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORTAN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORTAN_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORTAN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest and the test discovery run the programs through Wine, with a Wine
# prefix of the build folder's own and without Wine's debugging chatter.
find_program(ZORTAN_WINE NAMES wine wine64 PATHS /usr/lib/wine)
if(ZORTAN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all ${ZORTAN_WINE})
endif()
