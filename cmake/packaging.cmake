# Installation and packages.
#   cmake --install build [--prefix P]          bin/nadir_spot, share/man/man1/nadir_spot.1.gz,
#                                               share/doc/nadir-spot/
#   cmake --build --preset default --target package    nadir-spot_<version>_<arch>.deb
#   cmake --build --preset windows --target package    nadir_spot-<version>-win64.zip
include(GNUInstallDirs)
# Debian names the documentation folder after the package, whose name takes
# no underscore; a plain install uses the same folder, so both read alike.
if(NOT WIN32 AND "$CACHE{CMAKE_INSTALL_DOCDIR}" STREQUAL "")
  set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/nadir-spot)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/docs/nadir_spot.1 ${PROJECT_SOURCE_DIR}/cmake/debian/changelog)

# The manual page and the Debian changelog name the version they describe:
# a new version needs its changelog entry and its page first.
file(STRINGS ${PROJECT_SOURCE_DIR}/docs/nadir_spot.1 _th REGEX "^\\.TH ")
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog _entry LIMIT_COUNT 1)
if(NOT _th MATCHES "\"nadir_spot ${PROJECT_VERSION}\"" OR NOT _entry MATCHES "^nadir-spot \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "docs/nadir_spot.1 (.TH) and cmake/debian/changelog (first line) must name version "
    "${PROJECT_VERSION}; they read:\n  ${_th}\n  ${_entry}")
endif()

# Text files of the package: with Windows line ends in the zip, so that every
# editor there shows the lines.
function(package_text name text)
  if(WIN32)
    string(REPLACE "\n" "\r\n" text "${text}")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/${name} "${text}")
endfunction()

if(WIN32)
  # A zip to unpack anywhere: the program, the README and the license as
  # text and the sample model, with a note on where it goes.
  install(TARGETS nadir_spot RUNTIME DESTINATION .)
  file(READ ${PROJECT_SOURCE_DIR}/README.md _readme)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
  package_text(README.txt "${_readme}")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
  package_text(LICENSE.txt "${_license}")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt DESTINATION .)
  set(_sample_dir sample)
else()
  install(TARGETS nadir_spot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripped install (the .deb's) also drops the compilers' identification
  # notes, as Debian's own packages do.
  if(CMAKE_OBJCOPY)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/nadir_spot\" COMMAND_ERROR_IS_FATAL ANY)
    endif()")
  endif()
  install(FILES README.md docs/windows.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(_sample_dir ${CMAKE_INSTALL_DOCDIR}/sample)

  # The license as Debian's machine-readable copyright file, its text taken
  # from LICENSE so that the two cannot differ. MIT is "Expat" there.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${_license}")
  set(_holder "${CMAKE_MATCH_1}")
  string(FIND "${_license}" "Permission is hereby granted" _at)
  if(_at LESS 0 OR _holder STREQUAL "")
    message(FATAL_ERROR "LICENSE: no copyright line or no permission notice")
  endif()
  string(SUBSTRING "${_license}" ${_at} -1 _terms)
  string(STRIP "${_terms}" _terms)
  # A field's continuation lines start with a space; an empty one is " .".
  string(REPLACE "\n\n" "\n.\n" _terms "${_terms}")
  string(REPLACE "\n" "\n " _terms "${_terms}")
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/copyright "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: nadir_spot
Upstream-Contact: nadir_spot developers <nadir-spot@example.org>

Files: *
Copyright: ${_holder}
License: Expat
 ${_terms}
")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # The manual page and the changelog compressed as Debian installs them:
  # gzip -9, with no name or time stamp in the header (the same bytes on
  # every build). The changelog of a native package is changelog.gz.
  find_program(NADIR_GZIP gzip)
  set(_man ${CMAKE_BINARY_DIR}/packaging/nadir_spot.1)
  set(_changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
  if(NADIR_GZIP)
    add_custom_command(OUTPUT ${_man}.gz ${_changelog}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/nadir_spot.1 ${_man}
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${_changelog}
      COMMAND ${NADIR_GZIP} -9nf ${_man} ${_changelog}
      DEPENDS ${PROJECT_SOURCE_DIR}/docs/nadir_spot.1 ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
      VERBATIM)
    add_custom_target(compressed_docs ALL DEPENDS ${_man}.gz ${_changelog}.gz)
    install(FILES ${_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${_changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    # man reads a page that is not compressed as well.
    install(FILES docs/nadir_spot.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES cmake/debian/changelog DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
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
