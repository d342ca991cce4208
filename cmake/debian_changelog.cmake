# Writes CHANGELOG.md (IN) to OUT as a Debian changelog for package NAME by MAINTAINER: each
# "## <version> (<date> <time> UTC)" section an entry, each "- " item a change. Any other line
# after the first section stops it, so that nothing is left out. Run with cmake -D...=... -P.
set(ENV{LC_ALL} C)
file(READ ${IN} text)
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
                    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND out "${trailer}${NAME} (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
    set(trailer "\n -- ${MAINTAINER}  ${date}\n\n")
  elseif(trailer STREQUAL "")
    # The title and what precedes the first version.
  elseif(line MATCHES "^- (.+)")
    string(APPEND out "  * ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^  (.+)")
    string(APPEND out "    ${CMAKE_MATCH_1}\n")
  elseif(NOT line STREQUAL "")
    message(FATAL_ERROR "${IN}: cannot turn this line into a Debian changelog: ${line}")
  endif()
endwhile()
file(WRITE ${OUT} "${out}${trailer}")
