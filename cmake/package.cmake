# Release archives: the native programs as a tarball and a Debian package, and the Windows
# programs, cross-built beside them, as a zip. Each archive holds what its build installs.
include(ExternalProject)
set(windows_build ${PROJECT_BINARY_DIR}/windows)
ExternalProject_Add(windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${windows_build}
  CMAKE_ARGS --toolchain ${PROJECT_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=${BUILD_TESTING}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
if(BUILD_TESTING)
  add_test(NAME windows COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${windows_build} --output-on-failure)
endif()

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Join and split the two byte lanes of a 16-bit ROM image")
set(CPACK_PACKAGE_CONTACT "The Bytelace developers")
set(CPACK_GENERATOR TGZ DEB ZIP)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_WINDOWS_BUILD ${windows_build})
set(CPACK_SOURCE_TREE ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_each.cmake)
include(CPack)
