# nlohmann/json, the header-only JSON library, as the target nlohmann_json::nlohmann_json, from
# its CMake package (Debian's nlohmann-json3-dev). A cross-build looks in the target's folders
# first; as the library is only headers, the build machine's copy serves too, exposed alone
# through a folder of the build tree so that no other header of the build machine can stand in
# for one of the target's.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3.10 CONFIG REQUIRED)
  return()
endif()
find_package(nlohmann_json 3.10 CONFIG QUIET)
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp)
  if(NOT NLOHMANN_JSON_INCLUDE_DIR)
    find_path(NLOHMANN_JSON_HOST_INCLUDE_DIR nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH)
    if(NLOHMANN_JSON_HOST_INCLUDE_DIR)
      set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
      file(MAKE_DIRECTORY ${host_headers})
      file(CREATE_LINK ${NLOHMANN_JSON_HOST_INCLUDE_DIR}/nlohmann ${host_headers}/nlohmann SYMBOLIC)
      set(NLOHMANN_JSON_INCLUDE_DIR ${host_headers} CACHE PATH "Folder holding nlohmann/json.hpp"
        FORCE)
    endif()
  endif()
  if(NOT NLOHMANN_JSON_INCLUDE_DIR)
    message(FATAL_ERROR "nlohmann/json not found: install Debian's nlohmann-json3-dev")
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${NLOHMANN_JSON_INCLUDE_DIR})
endif()
