# CLI11, the header-only command-line parser, as the target CLI11::CLI11: from its CMake
# package (Debian's libcli11-dev) or, failing that, from wherever its header is found. A
# cross-build looks in the target's folders first; as the library is only headers, the build
# machine's copy serves too, exposed alone through a folder of the build tree so that no other
# header of the build machine can stand in for one of the target's.
find_package(CLI11 CONFIG QUIET)
if(NOT TARGET CLI11::CLI11)
  find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp)
  if(NOT CLI11_INCLUDE_DIR AND CMAKE_CROSSCOMPILING)
    find_path(CLI11_HOST_INCLUDE_DIR CLI/CLI.hpp NO_CMAKE_FIND_ROOT_PATH)
    if(CLI11_HOST_INCLUDE_DIR)
      set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
      file(MAKE_DIRECTORY ${host_headers})
      file(CREATE_LINK ${CLI11_HOST_INCLUDE_DIR}/CLI ${host_headers}/CLI SYMBOLIC)
      set(CLI11_INCLUDE_DIR ${host_headers} CACHE PATH "Folder holding CLI/CLI.hpp" FORCE)
    endif()
  endif()
  if(NOT CLI11_INCLUDE_DIR)
    message(FATAL_ERROR "CLI11 not found: install Debian's libcli11-dev")
  endif()
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CLI11_INCLUDE_DIR})
endif()
