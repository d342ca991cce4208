# This build's release archives, made by CPack: a zip of the Windows programs, or a tarball
# and a Debian package of the Linux ones.
string(TOLOWER ${PROJECT_NAME} CPACK_PACKAGE_NAME)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(platform windows-x86)
else()
  set(CPACK_GENERATOR TGZ DEB)
  string(TOLOWER ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR} platform)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${platform})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scan, join, split and check the two byte lanes of a 16-bit ROM")
set(CPACK_PACKAGE_DESCRIPTION [[
A 16-bit ROM is often kept as two 8-bit EPROM files, one holding the low byte
of every word and one the high byte. Bytescan gives the checksums of two fresh
dumps and of the image they join to, and says what makes a dump look bad;
Bytelace joins such a pair of byte lanes into the 16384-byte image the system
loads, starting the image at lane offset 6144 and wrapping round; Byteunlace
takes an image apart into its two lanes again, for burning a patched image back
into two EPROMs; Bytecheck tells whether two chips read back hold an image,
where and in which data bits they do not, and which data or address line is at
fault.]])
# Debian's formats want an e-mail address, and the project has none: one under the reserved
# top-level domain invalid, which by definition reaches no one (the copyright file says so).
set(CPACK_PACKAGE_CONTACT "The Bytelace developers <developers@bytelace.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_SOURCE_TREE ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_each.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/changelog.cmake
                            ${PROJECT_SOURCE_DIR}/cmake/permissions.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/repack.cmake
                             ${PROJECT_SOURCE_DIR}/cmake/checksums.cmake)
include(CPack)

if(NOT WIN32)
  # What Debian asks of a package beyond the programs: the copyright, with the licence, the
  # third-party notice and the texts it names but Debian's own licences; the changelog, made
  # when packing (cmake/changelog.cmake); and why lintian's check for static programs does not
  # apply. Beside them, the read-me for Linux and the example lanes it runs on.
  set(texts license:LICENSE notices:doc/THIRD-PARTY-NOTICES glibc:doc/licences/glibc
            gcc:doc/licences/GCC-exception-3.1)
  foreach(text IN LISTS texts)
    string(REPLACE : ";" text ${text})
    list(GET text 0 name)
    list(GET text 1 file)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(READ ${file} ${name})
    # A paragraph's continuation lines: indented, an empty line as a dot.
    string(REGEX REPLACE "\n+$" "" ${name} "${${name}}")
    string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" ${name} "${${name}}")
    string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" ${name} "${${name}}")
    string(REPLACE "\n" "\n " ${name} "${${name}}")
  endforeach()
  # The Free Software Foundation has moved since glibc's notices gave its postal address, which
  # Debian 13's lintian flags; an override for that would go unused on Debian 12.
  string(REGEX REPLACE "write to the Free[ \n]+Software Foundation,[ \n]+Inc\\.,[^.]+02110-1301 USA"
         "see <https://www.gnu.org/licenses/>" glibc "${glibc}")
  set(doc ${CMAKE_CURRENT_BINARY_DIR}/debian)
  file(WRITE ${doc}/copyright "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Comment: The address in the Maintainer field and the changelog is under the
 top-level domain invalid, which RFC 2606 reserves for names sure to be
 invalid: it reaches no one, by definition. The project has no e-mail address.
 .
 ${notices}

Files: *
Copyright: 2026 The Bytelace developers
License: Expat
 ${license}

License: LGPL-2.1+
 On Debian systems, the complete text of the GNU Lesser General Public
 License, version 2.1, is in /usr/share/common-licenses/LGPL-2.1. Debian's
 copyright file for the GNU C Library follows, with the licences' web address
 where it gave the Free Software Foundation's old postal address.
 .
 ${glibc}

License: GPL-3+ with GCC-exception-3.1
 On Debian systems, the complete text of the GNU General Public License,
 version 3, is in /usr/share/common-licenses/GPL-3. GCC's statement and the
 exception follow, from Debian's copyright file for GCC.
 .
 ${gcc}
")
  set(doc_folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})
  install(FILES ${doc}/copyright DESTINATION ${doc_folder} COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${docs}/README-linux.txt DESTINATION ${doc_folder} RENAME README COMPONENT deb
          EXCLUDE_FROM_ALL)
  install(FILES ${examples} DESTINATION ${doc_folder}/examples COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES cmake/lintian-overrides DESTINATION share/lintian/overrides
          RENAME ${CPACK_PACKAGE_NAME} COMPONENT deb EXCLUDE_FROM_ALL)
endif()
