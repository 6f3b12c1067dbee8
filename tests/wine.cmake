# The tests of a Windows build. Executables are linked statically, and the
# end-to-end tests share one c:\images\. A cross build runs every test under
# Wine, in a prefix of the run's own that a ctest fixture creates before the
# first test and removes after the last.

foreach(tool unit_tests console_probe bmp_tool)
  if(MINGW)
    target_link_options(${tool} PRIVATE -static)
  endif()
endforeach()

# One c:\images\ for every program of the run: end-to-end tests take turns.
get_property(_tests DIRECTORY PROPERTY TESTS)
foreach(t ${_tests})
  if(t MATCHES "^e2e\\.")
    set_property(TEST ${t} APPEND PROPERTY RESOURCE_LOCK images)
  endif()
endforeach()

if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(WARNING "Wine not found: the Windows tests are built but not registered")
  return()
endif()

# Under the temporary folder, one per build tree.
string(SHA1 _tree "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_tree}" 0 10 _tree)
set(_tmp "$ENV{TMPDIR}")
if(NOT _tmp)
  set(_tmp /tmp)
endif()
set(NADIR_WINEPREFIX "${_tmp}/nadir_spot_wine_${_tree}" CACHE PATH
  "Wine prefix of the test run (created and removed by the tests)")

add_test(NAME wine.start COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine/prefix.sh start ${NADIR_WINEPREFIX})
add_test(NAME wine.stop COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine/prefix.sh stop ${NADIR_WINEPREFIX})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

# The whole unit test binary as one test: listing its cases would need Wine at
# build time.
add_test(NAME unit_tests COMMAND unit_tests WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(unit_tests PROPERTIES ENVIRONMENT "NADIR_SOURCE=${PROJECT_SOURCE_DIR}")

set(_wine_env "WINEPREFIX=${NADIR_WINEPREFIX};WINEDEBUG=-all")
get_property(_tests DIRECTORY PROPERTY TESTS)
foreach(t ${_tests})
  if(t MATCHES "^wine\\.")
    continue()
  endif()
  set_property(TEST ${t} APPEND PROPERTY FIXTURES_REQUIRED wine)
  set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT ${_wine_env})
  if(t MATCHES "^e2e\\.")
    set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT "NADIR_WINE=${CMAKE_CROSSCOMPILING_EMULATOR}")
  endif()
endforeach()
