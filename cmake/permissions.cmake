# Run by CPack before it packs: directories as 0755 whatever the umask, since archives keep
# them, and a .deb installs them, as they were made.
file(GLOB_RECURSE directories LIST_DIRECTORIES true ${CPACK_TEMPORARY_DIRECTORY}/*)
list(APPEND directories ${CPACK_TEMPORARY_DIRECTORY})
foreach(directory IN LISTS directories)
  if(IS_DIRECTORY ${directory} AND NOT IS_SYMLINK ${directory})
    file(CHMOD ${directory} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
