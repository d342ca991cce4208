# Read by CPack once for each archive it makes.
# Archives carry the date of the commit packaged, so that one commit gives the same bytes.
execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CPACK_SOURCE_TREE}
                OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(epoch)
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_WINDOWS_BUILD};${CPACK_PACKAGE_NAME};ALL;/")
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-win32)
endif()
