# One time for everything a build stamps or archives, so that two builds of
# one commit can give the same bytes: SOURCE_DATE_EPOCH from the
# environment, else the time of the last commit, else the modification time
# of the top CMakeLists.txt (a source tree without its history). It is read
# when the build is configured: the package workflow configures every time.
set(ZK_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(NOT ZK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE ZK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT ZK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt ZK_SOURCE_DATE_EPOCH "%s" UTC)
endif()

# Packages always carry that time (cmake/packaging.cmake). A build that must
# reproduce (ZK_REPRODUCIBLE, which the package and windows presets set)
# stamps it in the banner too (common/CMakeLists.txt), and keeps no path of
# the machine it was built on.
if(ZK_REPRODUCIBLE)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  if(WIN32)
    # The header of a Windows program holds the time it was linked, unless told not to.
    add_link_options(LINKER:--no-insert-timestamp)
  endif()
endif()
