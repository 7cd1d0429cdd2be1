# What `cmake --install` puts where, and the packages cpack makes from it.
#
# Linux and other Unix: bin/vantrel, share/man/man1/vantrel.1 and the
# read-me and licence (as Debian's copyright file) in share/doc/vantrel;
# cpack makes a .deb.
# Windows: vantrel.exe, ReadMe!.txt and LICENSE.txt side by side, since a
# .zip is unpacked into one folder and run from there; cpack makes the .zip.

include(GNUInstallDirs)

set(VANTREL_MAINTAINER "Vantrel developers <maintainers@vantrel.example>")

# The trim prompt points people to "ReadMe!.txt", so that is its name.
set(VANTREL_README "${PROJECT_BINARY_DIR}/ReadMe!.txt")
if(WIN32)
  configure_file(doc/ReadMe.txt.in "${VANTREL_README}" @ONLY
                 NEWLINE_STYLE CRLF)
  install(TARGETS vantrel RUNTIME DESTINATION .)
  install(FILES "${VANTREL_README}" DESTINATION .)
  # Notepad's line ends, as for the read-me.
  configure_file(LICENSE "${PROJECT_BINARY_DIR}/LICENSE.txt" @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES "${PROJECT_BINARY_DIR}/LICENSE.txt" DESTINATION .)
else()
  configure_file(doc/ReadMe.txt.in "${VANTREL_README}" @ONLY
                 NEWLINE_STYLE UNIX)
  install(TARGETS vantrel RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES doc/vantrel.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  install(FILES "${VANTREL_README}" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  # Debian's machine-readable copyright file: the licence text after the
  # title and copyright line (which the fields carry) as one field, each
  # line indented and each blank line a lone ".".
  file(READ LICENSE VANTREL_LICENSE_TEXT)
  string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" ""
         VANTREL_LICENSE_TEXT "${VANTREL_LICENSE_TEXT}")
  string(REGEX REPLACE "\n+$" "" VANTREL_LICENSE_TEXT "${VANTREL_LICENSE_TEXT}")
  string(REPLACE "\n\n" "\n.\n" VANTREL_LICENSE_TEXT "${VANTREL_LICENSE_TEXT}")
  string(REPLACE "\n" "\n " VANTREL_LICENSE_TEXT "${VANTREL_LICENSE_TEXT}")
  configure_file(doc/copyright.in "${PROJECT_BINARY_DIR}/copyright" @ONLY
                 NEWLINE_STYLE UNIX)
  install(FILES "${PROJECT_BINARY_DIR}/copyright"
          DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  # What changed in each version, in Debian's changelog format (gzipped in
  # the .deb, with the manual page).
  install(FILES doc/changelog DESTINATION "${CMAKE_INSTALL_DOCDIR}")
endif()

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_CONTACT "${VANTREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "search a firewall log, list the hits in an HTML report")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel searches a PIX firewall log for a user id or an IPv4 address\n\
and writes every line it finds to report.html, cleaned up and with\n\
destination addresses replaced by host names, then opens the report in\n\
the default viewer.")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_MAINTAINER}")
  # Depends comes from what the binary links (needs dpkg-shlibdeps, from
  # dpkg-dev, and file); xdg-open is only needed to show the report.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils")
  # Debian ships manual pages and changelogs gzipped; `cmake --install`
  # keeps them plain.
  set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/gzip-manpages.cmake")
endif()

include(CPack)
