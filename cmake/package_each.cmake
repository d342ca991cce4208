# Read by CPack once for each archive it makes.
# Archives carry the date of the commit packaged, so that one commit gives the same bytes;
# without it they would carry the time of the build, so it is required.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CPACK_SOURCE_TREE}
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE error
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "Cannot read the date of the commit to package from git in "
                        "${CPACK_SOURCE_TREE} (${status} ${error}). Install git and build from "
                        "a clone, or set SOURCE_DATE_EPOCH.")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
# Zip entries carry local time, and a locale may change what tools print.
set(ENV{TZ} UTC)
set(ENV{LC_ALL} C)
list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 build)
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_INSTALL_CMAKE_PROJECTS ${build} ${CPACK_PACKAGE_NAME} Unspecified / ${build} ${CPACK_PACKAGE_NAME} tarball /)
elseif(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALL_CMAKE_PROJECTS ${build} ${CPACK_PACKAGE_NAME} Unspecified / ${build} ${CPACK_PACKAGE_NAME} deb /)
endif()
