# What Debian wants of a .deb beyond what CPack makes, done in the package's
# staging directory before the package is made (a CPack pre-build script):
# manual pages compressed with gzip -9n, which stores neither a name nor a
# time, and the packaging's changelog as changelog.Debian.gz beside the
# copyright file.
set(usr ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${usr}/share/doc/${CPACK_PACKAGE_NAME})

file(GLOB_RECURSE pages ${usr}/share/man/*)
if(pages)
  execute_process(COMMAND gzip -9n ${pages} COMMAND_ERROR_IS_FATAL ANY)
endif()

# One entry, for the package this build makes, dated with the time every
# file of the package carries (SOURCE_DATE_EPOCH, cmake/cpack_project.cmake).
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${doc}/changelog.Debian
"${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * zktools ${CPACK_PACKAGE_VERSION}, packaged from its sources by CPack.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}
")
execute_process(COMMAND gzip -9n ${doc}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
