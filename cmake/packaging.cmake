# Installation and packages.
#   cmake --install build [--prefix P]          bin/nadir_spot, share/doc/nadir_spot/
#   cmake --build --preset default --target package    nadir-spot_<version>_<arch>.deb
#   cmake --build --preset windows --target package    nadir_spot-<version>-win64.zip
include(GNUInstallDirs)

# Text files of the package: with Windows line ends in the zip, so that every
# editor there shows the lines.
function(package_text name text)
  if(WIN32)
    string(REPLACE "\n" "\r\n" text "${text}")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/${name} "${text}")
endfunction()

if(WIN32)
  # A zip to unpack anywhere: the program, the README as text and the sample
  # model, with a note on where it goes.
  install(TARGETS nadir_spot RUNTIME DESTINATION .)
  file(READ ${PROJECT_SOURCE_DIR}/README.md _readme)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
  package_text(README.txt "${_readme}")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
  set(_sample_dir sample)
else()
  install(TARGETS nadir_spot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md docs/windows.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(_sample_dir ${CMAKE_INSTALL_DOCDIR}/sample)
endif()
install(FILES examples/sample/jacksboro.asc examples/sample/jacksboro_m2.raw examples/sample/jacksboro_m2.txt
  DESTINATION ${_sample_dir})
package_text(sample.txt
  "The sample model. Copy these three files to the folder C:\\images\\demo\\ (on Linux,
to c/images/demo/ under the folder you run nadir_spot in), run nadir_spot and answer
demo, then jacksboro, then 0 (the ASCII grid) or 1 and 0 (the 16-bit raster). The
README tells the rest of the dialogue.
")
install(FILES ${CMAKE_BINARY_DIR}/packaging/sample.txt DESTINATION ${_sample_dir} RENAME README.txt)

set(CPACK_PACKAGE_NAME nadir_spot)
set(CPACK_PACKAGE_VENDOR "the nadir_spot developers")
set(CPACK_PACKAGE_CONTACT "nadir_spot developers <nadir-spot@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lowest altitude of a Digital Elevation Model, located in a mask image")
# One paragraph, in lines short enough for a package manager's window.
set(CPACK_PACKAGE_DESCRIPTION "\
nadir_spot is an interactive console tool for terrain analysis. It loads a
Digital Elevation Model (a raw 16-bit or 32-bit raster with a six-line text
descriptor, or an ASCII grid), finds its lowest altitude, counts the pixels
that hold it and, on request, writes an 8-bit greyscale BMP mask marking them.
All files live in one folder under a fixed base directory, which on Linux is
c/images/ under the working directory.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  # Debian package names take no underscore.
  set(CPACK_DEBIAN_PACKAGE_NAME nadir-spot)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The libraries it links (libc, libstdc++), found by dpkg-shlibdeps (dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
