# GoogleTest for the unit tests. The machine's installed copy is built for the
# host; a cross build (or a Windows machine without an installed copy) builds
# it from a source tree instead: Debian's `googletest` package puts one in
# /usr/src/googletest, or NADIR_GTEST_SOURCE names another.
set(NADIR_GTEST_SOURCE "" CACHE PATH "GoogleTest source tree to build with the tests (empty: the installed GoogleTest)")
if(NOT NADIR_GTEST_SOURCE AND CMAKE_CROSSCOMPILING)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "Cross-compiling the tests needs GoogleTest's sources: "
      "apt-get install googletest, or set NADIR_GTEST_SOURCE")
  endif()
  set(NADIR_GTEST_SOURCE /usr/src/googletest)
endif()

if(NADIR_GTEST_SOURCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # MSVC: the same runtime library as the rest of the build.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${NADIR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Third-party code: our warning flags (and -Werror in CI) are not its business.
  set_target_properties(gtest gtest_main PROPERTIES COMPILE_OPTIONS "")
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
