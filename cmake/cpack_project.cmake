# Read by CPack before it makes each package (CPACK_PROJECT_CONFIG_FILE).

# Every entry of an archive, and the archive's own headers, carry the
# sources' time (cmake/reproducible.cmake), unless the environment names
# another: then two packages of one commit are the same bytes.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_ZK_SOURCE_DATE_EPOCH})
endif()

if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian.cmake)
endif()
