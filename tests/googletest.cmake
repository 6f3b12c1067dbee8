# GoogleTest for the unit tests. The machine's installed copy is built for the
# host; a cross build (or a Windows machine without an installed copy) builds
# it from a source tree instead: Debian's `googletest` package puts one in
# /usr/src/googletest, or NADIR_GTEST_SOURCE names another.
# Sets NADIR_GTEST_FOUND. Without GoogleTest, NADIR_TESTS=AUTO configures no
# tests and says so; NADIR_TESTS=ON stops.
set(NADIR_GTEST_SOURCE "" CACHE PATH "GoogleTest source tree to build with the tests (empty: the installed GoogleTest)")
set(_gtest_source "${NADIR_GTEST_SOURCE}")
if(NOT _gtest_source AND CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/CMakeLists.txt)
  set(_gtest_source /usr/src/googletest)
endif()

set(NADIR_GTEST_FOUND OFF)
if(_gtest_source)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # MSVC: the same runtime library as the rest of the build.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${_gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Third-party code: our warning flags (and -Werror in CI) are not its business.
  set_target_properties(gtest gtest_main PROPERTIES COMPILE_OPTIONS "")
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
  set(NADIR_GTEST_FOUND ON)
elseif(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
  set(NADIR_GTEST_FOUND ${GTest_FOUND})
endif()

if(NOT NADIR_GTEST_FOUND)
  if(CMAKE_CROSSCOMPILING)
    set(_how "apt-get install googletest (its sources), or set NADIR_GTEST_SOURCE")
  else()
    set(_how "apt-get install libgtest-dev; bash tests/run installs it")
  endif()
  if(NADIR_TESTS STREQUAL "AUTO")
    message(STATUS "GoogleTest not found: the program is built, the tests are not (${_how})")
  else()
    message(FATAL_ERROR "NADIR_TESTS=${NADIR_TESTS} but GoogleTest was not found: ${_how}")
  endif()
endif()
