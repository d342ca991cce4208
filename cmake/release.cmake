# The release builds the programs for the other platforms too, each in a folder of its own
# with its toolchain, archives beside this build's, and tests run under Wine or QEMU.
include(ExternalProject)
foreach(build windows:i686-w64-mingw32 aarch64:aarch64-linux-gnu armhf:arm-linux-gnueabihf)
  string(REPLACE : ";" build ${build})
  list(GET build 0 folder)
  list(GET build 1 toolchain)
  ExternalProject_Add(${folder}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PROJECT_BINARY_DIR}/${folder}
    CMAKE_ARGS --toolchain ${PROJECT_SOURCE_DIR}/cmake/${toolchain}.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=${BUILD_TESTING}
               -DCPACK_PACKAGE_DIRECTORY=${PROJECT_BINARY_DIR} -DBYTELACE_PAGE=${BYTELACE_PAGE}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
  if(BUILD_TESTING)
    add_test(NAME ${folder} COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${PROJECT_BINARY_DIR}/${folder}
                                    --output-on-failure)
  endif()
endforeach()

# The page also ships beside the archives, by the version's name.
set(versioned ${PROJECT_BINARY_DIR}/${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}.html)
add_custom_command(OUTPUT ${versioned} COMMAND ${CMAKE_COMMAND} -E copy ${BYTELACE_PAGE} ${versioned}
                   DEPENDS web ${BYTELACE_PAGE})
add_custom_target(versioned_page ALL DEPENDS ${versioned})

# The source of the release, which the notices point to for rebuilding and relinking the
# programs: the commit built, dated by it as git archive does, in a folder named as the
# release, with the modes git records whatever git is set to.
set(source ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION})
add_custom_target(source ALL
  COMMAND git -C ${PROJECT_SOURCE_DIR} -c tar.umask=0022 archive --prefix=${source}/
          -o ${PROJECT_BINARY_DIR}/${source}-source.tar HEAD
  COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/${source}-source.tar
  VERBATIM)
