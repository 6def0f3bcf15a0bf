# What the suite installs beside its tools, and the packages CPack makes of
# it: a .deb and a .tar.gz on Linux, a .zip of the .exe files on Windows.
# Two packages of one commit are the same bytes (cmake/reproducible.cmake).

install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian wants the licence as /usr/share/doc/<package>/copyright, in the
# machine-readable format, so it is made from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE zk_license)
string(REGEX REPLACE "\n\n" "\n.\n" zk_license_paragraphs "${zk_license}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" zk_license_paragraphs "${zk_license_paragraphs}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: zktools

Files: *
Copyright: 2026 The zktools developers
License: MIT
 ${zk_license_paragraphs}")
if(NOT WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME zktools)
set(CPACK_PACKAGE_VENDOR "The zktools developers")
set(CPACK_PACKAGE_CONTACT "The zktools developers <zktools@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build tools for TI-89 and TI-92 Plus calculator programs")
set(CPACK_PACKAGE_DESCRIPTION "Small command-line tools for the build chain of programs written on a
desktop machine for the TI-89 and TI-92 Plus calculators: packing and
unpacking of packed data and archives, binary files to C array text and
back, extraction between marker tokens, file splitting, PNG pictures to
bitmaps and back, sprite tiling into C source, and inspection, repair,
conversion and creation of the calculator's variable files.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The sources' time for every package, and the .deb's Debian parts.
set(CPACK_ZK_SOURCE_DATE_EPOCH ${ZK_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_project.cmake)

if(WIN32)
  # The .zip, written by cmake/zip.cmake.
  set(CPACK_GENERATOR External)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/zip.cmake)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
  # The dependencies come from the shared libraries the tools link (dpkg-shlibdeps).
  # The stb headers that read and write PNG are compiled into the tools.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
