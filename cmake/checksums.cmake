# Run by CPack after each archive: lists every archive of this version in the folder, and the
# page, in SHA256SUMS, in sha256sum's format, so that the last run lists them all.
file(GLOB archives RELATIVE ${CPACK_PACKAGE_DIRECTORY}
     ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_NAME}[-_]${CPACK_PACKAGE_VERSION}[-_.]*)
# This run's archives are not yet in the folder: read them where CPack made them.
foreach(file IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(archive ${file} NAME)
  list(APPEND archives ${archive})
  set(path_${archive} ${file})
endforeach()
list(REMOVE_DUPLICATES archives)
list(SORT archives)
set(sums "")
foreach(archive IN LISTS archives)
  if(NOT DEFINED path_${archive})
    set(path_${archive} ${CPACK_PACKAGE_DIRECTORY}/${archive})
  endif()
  file(SHA256 ${path_${archive}} sum)
  string(APPEND sums "${sum}  ${archive}\n")
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
