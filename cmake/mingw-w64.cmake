# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64,
# posix threads variant). Programs are linked statically so they run on a bare
# Windows machine; Wine runs them here, so tests and tools work unchanged.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
# GoogleTest's project enables C as well.
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable: the C++ runtime and winpthreads inside, no DLL to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# add_test() runs target executables through Wine when it is installed.
find_program(NADIR_WINE_PROGRAM NAMES wine wine64)
if(NADIR_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NADIR_WINE_PROGRAM})
endif()
