# Release packages, made by CPack from the install rules: a .tar.gz and a .deb of the Linux
# program and a .zip of the Windows program. The archives hold bin/fragtally (or
# bin/fragtally.exe) with LICENSE and a README beside bin/ (the Linux one README.md with the
# manual page in share/man, the Windows one the players' README.txt), and the documents of
# share/doc/fragtally; the .deb installs under /usr, with the manual page and the changelog
# compressed as Debian keeps them. packaging/make-packages.sh makes them all.
# Beside the Windows program, a command file that a double-click runs: it writes both reports of
# the log in its folder and opens the page.
if(WIN32)
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/fragtally-page.cmd
    ${PROJECT_SOURCE_DIR}/packaging/fragtally-live.cmd DESTINATION bin)
endif()

set(CPACK_PACKAGE_NAME fragtally)
set(CPACK_PACKAGE_VENDOR "the fragtally developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Per-player statistics from the console log of a deathmatch game")
# The .deb's extended description, after the summary line: lines of at most 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "fragtally reads the console log of a deathmatch game once and recognises its\n"
  "obituary lines, such as 'Bob was railed by Alice' or 'Bob melted himself'.\n"
  "It reports every player's kills and deaths per weapon, his suicides by cause\n"
  "and who killed whom: as a text report, as JSON for scripts, or as a\n"
  "self-contained HTML page with a leaderboard, a head-to-head heat map and each\n"
  "player's kills per round.")
set(CPACK_PACKAGE_VERSION ${FRAGTALLY_VERSION})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(package_system windows)
else()
  set(CPACK_GENERATOR TGZ DEB)
  string(TOLOWER ${CMAKE_SYSTEM_NAME} package_system)
endif()

# The .deb, named as Debian names it: fragtally_<version>_amd64.deb. The program links its C++
# runtime statically and needs only the C library of the release's README.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the fragtally developers <fragtally@example.org>")
# It reads a game's logs but is no game itself.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://fragtally.example.org/")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
set(CPACK_PACKAGE_FILE_NAME
    ${CPACK_PACKAGE_NAME}-${FRAGTALLY_VERSION}-${package_system}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_STRIP_FILES ON)

# The README and the licence go into the archives only, not into `cmake --install`'s prefix,
# where they would not belong at the top. Copied here, they follow every change on rebuild.
# Windows players get a README of their own, with Windows' line ends.
if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt
    ${PROJECT_BINARY_DIR}/package-documents/README.txt @ONLY NEWLINE_STYLE WIN32)
else()
  configure_file(${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/package-documents/README.md COPYONLY)
endif()
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/package-documents/LICENSE COPYONLY)
set(CPACK_INSTALLED_DIRECTORIES ${PROJECT_BINARY_DIR}/package-documents .)
# The .deb keeps them where Debian keeps a package's documents, the licence as "copyright".
configure_file(${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/deb-documents/usr/share/doc/fragtally/README.md COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/deb-documents/usr/share/doc/fragtally/copyright COPYONLY)
set(FRAGTALLY_DEB_DOCUMENTS ${PROJECT_BINARY_DIR}/deb-documents)
if(NOT WIN32)
  # Only making the .deb needs Python (for its changelog): a build of the program alone does not.
  find_package(Python3 COMPONENTS Interpreter)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/deb-staging.cmake.in ${PROJECT_BINARY_DIR}/deb-staging.cmake @ONLY)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/cpack-generators.cmake.in ${PROJECT_BINARY_DIR}/cpack-generators.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/cpack-generators.cmake)

include(CPack)
