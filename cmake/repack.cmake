# Run by CPack after it packs. CPack 3.25 packs a tarball's and a zip's files in the order the
# file system lists them, and counts directories' sizes in a .deb's Installed-Size, so all
# three depend on the file system built on: pack them again from what CPack staged, in name
# order, with GNU tar, zip and dpkg-deb, each dated by SOURCE_DATE_EPOCH and owned by root.
set(epoch $ENV{SOURCE_DATE_EPOCH})
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(folder ${archive} DIRECTORY)
  set(staged ${folder}/${CPACK_PACKAGE_FILE_NAME})
  file(REMOVE ${archive})
  if(archive MATCHES "\\.tar\\.gz$")
    execute_process(COMMAND tar --create --sort=name --format=gnu --owner=0 --group=0
                            --numeric-owner --mtime=@${epoch} ${CPACK_PACKAGE_FILE_NAME}
                    COMMAND gzip -9n OUTPUT_FILE ${archive} WORKING_DIRECTORY ${folder}
                    COMMAND_ERROR_IS_FATAL ANY)
  elseif(archive MATCHES "\\.zip$")
    file(GLOB_RECURSE files RELATIVE ${folder} ${staged}/*)
    list(SORT files)
    execute_process(COMMAND touch -h -d @${epoch} ${files} WORKING_DIRECTORY ${folder}
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND zip -X -D -q -9 ${archive} ${files} WORKING_DIRECTORY ${folder}
                    COMMAND_ERROR_IS_FATAL ANY)
  elseif(archive MATCHES "\\.deb$")
    # Installed-Size as dpkg-gencontrol counts it: KiB per file, rounded up; 1 per other entry.
    set(root ${folder}/root)
    file(REMOVE_RECURSE ${root})
    file(COPY ${staged}/usr DESTINATION ${root})
    file(GLOB_RECURSE entries LIST_DIRECTORIES true ${root}/*)
    set(size 0)
    foreach(entry IN LISTS entries)
      if(IS_SYMLINK ${entry} OR IS_DIRECTORY ${entry})
        math(EXPR size "${size} + 1")
      else()
        file(SIZE ${entry} bytes)
        math(EXPR size "${size} + (${bytes} + 1023) / 1024")
      endif()
    endforeach()
    file(READ ${staged}/control control)
    string(REGEX REPLACE "Installed-Size: [0-9]+" "Installed-Size: ${size}" control "${control}")
    file(WRITE ${root}/DEBIAN/control "${control}")
    file(COPY ${staged}/md5sums DESTINATION ${root}/DEBIAN)
    # dpkg-deb keeps the modes of the folders and the times of every entry as they are.
    file(CHMOD ${root} ${root}/DEBIAN PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    execute_process(COMMAND touch -h -d @${epoch} ${root} ${entries} COMMAND_ERROR_IS_FATAL ANY)
    file(CHMOD ${root}/DEBIAN/control ${root}/DEBIAN/md5sums PERMISSIONS OWNER_READ OWNER_WRITE
         GROUP_READ WORLD_READ)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -z9 --build ${root} ${archive}
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
