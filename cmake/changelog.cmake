# Run by CPack before it packs. The newest version's heading in CHANGELOG.md has no date until
# the next version begins: this archive's copy, written anew from CHANGELOG.md (CHANGELOG.txt
# with CR LF in the zip), gets the date of the commit packaged (SOURCE_DATE_EPOCH, see
# cmake/package_each.cmake), and the .deb gets it as changelog.gz in Debian's form: each
# "## <version> (<date> <time> UTC)" section an entry, each "- " item a change. Any other line
# after the first section stops it, so that nothing is left out.
string(TIMESTAMP date "%Y-%m-%d %H:%M" UTC)
file(READ ${CPACK_SOURCE_TREE}/CHANGELOG.md text)
string(REGEX REPLACE "\n## ([^ \n]+)\n" "\n## \\1 (${date} UTC)\n" text "${text}")
set(staged ${CPACK_TEMPORARY_DIRECTORY})
if(EXISTS ${staged}/CHANGELOG.md)
  file(WRITE ${staged}/CHANGELOG.md "${text}")
elseif(EXISTS ${staged}/CHANGELOG.txt)
  string(REPLACE "\n" "\r\n" windows "${text}")
  file(WRITE ${staged}/CHANGELOG.txt "${windows}")
endif()
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

string(APPEND text "\n")
set(out "")
set(trailer "")
while(NOT text STREQUAL "")
  string(FIND "${text}" "\n" end)
  string(SUBSTRING "${text}" 0 ${end} line)
  math(EXPR end "${end} + 1")
  string(SUBSTRING "${text}" ${end} -1 text)
  if(line MATCHES "^## ([^ ]+) \\(([0-9-]+ [0-9:]+) UTC\\)$")
    execute_process(COMMAND date -u -d "${CMAKE_MATCH_2}" "+%a, %d %b %Y %T +0000"
                    OUTPUT_VARIABLE day OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND out "${trailer}${CPACK_PACKAGE_NAME} (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
    set(trailer "\n -- ${CPACK_PACKAGE_CONTACT}  ${day}\n\n")
  elseif(trailer STREQUAL "")
    # The title and what precedes the first version.
  elseif(line MATCHES "^- (.+)")
    string(APPEND out "  * ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^  (.+)")
    string(APPEND out "    ${CMAKE_MATCH_1}\n")
  elseif(NOT line STREQUAL "")
    message(FATAL_ERROR "CHANGELOG.md: cannot turn this line into a Debian changelog: ${line}")
  endif()
endwhile()
set(log ${staged}/usr/share/doc/${CPACK_PACKAGE_NAME}/changelog)
file(WRITE ${log} "${out}${trailer}")
execute_process(COMMAND gzip -9nf ${log} COMMAND_ERROR_IS_FATAL ANY)
file(CHMOD ${log}.gz PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
