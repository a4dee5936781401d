# Release packages, made by CPack from the install rules: a .tar.gz of the Linux program and a
# .zip of the Windows program, each holding bin/fragtally (or bin/fragtally.exe) with
# README.md and LICENSE beside bin/. packaging/make-packages.sh makes both.
set(CPACK_PACKAGE_NAME fragtally)
set(CPACK_PACKAGE_VENDOR "the fragtally developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Per-player statistics from the console log of a deathmatch game")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(package_system windows)
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER ${CMAKE_SYSTEM_NAME} package_system)
endif()
set(CPACK_PACKAGE_FILE_NAME
    ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${package_system}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_STRIP_FILES ON)

# The documents go into the packages only, not into `cmake --install`'s prefix, where a
# README.md at the top would not belong. Copied here, they follow every change on rebuild.
foreach(document README.md LICENSE)
  configure_file(${PROJECT_SOURCE_DIR}/${document} ${PROJECT_BINARY_DIR}/package-documents/${document} COPYONLY)
endforeach()
set(CPACK_INSTALLED_DIRECTORIES ${PROJECT_BINARY_DIR}/package-documents .)

include(CPack)
