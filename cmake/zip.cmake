# The Windows .zip (CPack's External generator runs this script on the
# staged files). Written here rather than by CPack's ZIP generator, which
# orders the entries as the file system lists them and writes their DOS
# times in local time: here the entries come in the order of their names,
# with the sources' time (SOURCE_DATE_EPOCH, cmake/cpack_project.cmake)
# taken in UTC, so that two packages of one commit are the same bytes.
cmake_path(GET CPACK_TEMPORARY_DIRECTORY PARENT_PATH stage_parent)
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${stage_parent} ${CPACK_TEMPORARY_DIRECTORY}/*)
list(SORT files)
list(JOIN files "\n" file_list)
file(WRITE ${CPACK_TOPLEVEL_DIRECTORY}/zip_entries.txt "${file_list}\n")

set(zip ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                        ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip
                        --files-from=${CPACK_TOPLEVEL_DIRECTORY}/zip_entries.txt
                WORKING_DIRECTORY ${stage_parent} COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_EXTERNAL_BUILT_PACKAGES ${zip})
