# Release packages, made by CPack from the install rules: a .tar.gz and a .deb of the Linux
# program and a .zip of the Windows program. The archives hold bin/fragtally (or
# bin/fragtally.exe) with README.md and LICENSE beside bin/, the Linux one also the manual
# page; the .deb installs under /usr with the documents in share/doc/fragtally.
# packaging/make-packages.sh makes them all.
# Beside the Windows program, a command file that a double-click runs: it writes both reports of
# the log in its folder and opens the page.
if(WIN32)
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/fragtally-page.cmd DESTINATION bin)
endif()

set(CPACK_PACKAGE_NAME fragtally)
set(CPACK_PACKAGE_VENDOR "the fragtally developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Per-player statistics from the console log of a deathmatch game")
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
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://fragtally.example.org/")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
set(CPACK_PACKAGE_FILE_NAME
    ${CPACK_PACKAGE_NAME}-${FRAGTALLY_VERSION}-${package_system}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_STRIP_FILES ON)

# The documents go into the packages only, not into `cmake --install`'s prefix, where a
# README.md at the top would not belong. Copied here, they follow every change on rebuild.
foreach(document README.md LICENSE)
  configure_file(${PROJECT_SOURCE_DIR}/${document} ${PROJECT_BINARY_DIR}/package-documents/${document} COPYONLY)
endforeach()
set(CPACK_INSTALLED_DIRECTORIES ${PROJECT_BINARY_DIR}/package-documents .)
# The .deb keeps them where Debian keeps a package's documents, the licence as "copyright".
configure_file(${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/deb-documents/usr/share/doc/fragtally/README.md COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/deb-documents/usr/share/doc/fragtally/copyright COPYONLY)
set(FRAGTALLY_DEB_DOCUMENTS ${PROJECT_BINARY_DIR}/deb-documents)
configure_file(${PROJECT_SOURCE_DIR}/cmake/cpack-generators.cmake.in ${PROJECT_BINARY_DIR}/cpack-generators.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/cpack-generators.cmake)

include(CPack)
