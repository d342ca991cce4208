# Run by CPack after it packs: CPack writes the members of a .deb's ar archive with the
# umask's modes; make them 0644, so that the .deb is the same under any umask.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(deb MATCHES "\\.deb$")
    file(SIZE ${deb} size)
    file(WRITE ${deb}.mode "100644  ")
    set(at 8)
    while(at LESS size)
      math(EXPR mode "${at} + 40")
      math(EXPR length_at "${at} + 48")
      file(READ ${deb} length OFFSET ${length_at} LIMIT 10)
      execute_process(COMMAND dd of=${deb} bs=1 seek=${mode} conv=notrunc status=none
                      INPUT_FILE ${deb}.mode COMMAND_ERROR_IS_FATAL ANY)
      string(STRIP "${length}" length)
      math(EXPR at "${at} + 60 + ${length} + ${length} % 2")
    endwhile()
    file(REMOVE ${deb}.mode)
  endif()
endforeach()
