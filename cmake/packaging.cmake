# Packages, built with `cmake --build --preset linux|mingw --target package`:
#   linux: vantrel_1.2_amd64.deb  (the console program and its manual page)
#   mingw: Vantrel-1.2-win64.zip  (Vantrel.exe and README.txt at the top)
# What goes in is said by the install rules of shell/console and shell/win32.
set(CPACK_PACKAGE_NAME "Vantrel")
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})  # project(Vantrel VERSION ...), as everywhere
set(CPACK_PACKAGE_CONTACT "Vantrel maintainers <maintainers@vantrel.invalid>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "checks every address of a mailing list against its mail server")
# The linux preset keeps debug info for the tests; the packages need none.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)  # cmake's own archiver; no zip program needed
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vantrel_1.2_amd64.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION mail)
  # Comes after the summary line; CPack indents it as dpkg wants.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"vantrel reads a mailing list, asks one DNS server for each domain's MX
records and talks SMTP (HELO, MAIL FROM, RCPT TO, QUIT) to the preferred
mail host, up to ten addresses at once, without ever sending a message.
Addresses that the mail server refuses are removed, suspended or written to
a side file; the cleaned list and a run log are kept.")
  # The C and C++ runtime versions the binary really needs, as dpkg-dev's
  # dpkg-shlibdeps reads them from it; CPack adds them to these.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # /etc/services, where the probes look up "smtp" (port 25 without it).
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "netbase")
endif()

include(CPack)
