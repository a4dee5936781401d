# Header-only libraries from Debian's packages, as imported targets.
#
# fragtally_header_only(<target> <package> <header> <debian package>) makes <target> from the
# library's CMake package or, failing that, from wherever <header> is found. A cross-build
# looks in the target's folders first; as the library is only headers, the build machine's copy
# serves too, exposed alone through a folder of the build tree, so that no other header of the
# build machine can stand in for one of the target's.
function(fragtally_header_only target package header debian_package)
  find_package(${package} CONFIG QUIET)
  if(TARGET ${target})
    return()
  endif()
  string(MAKE_C_IDENTIFIER "${package}_include_dir" cache_name)
  find_path(${cache_name} ${header})
  if(NOT ${cache_name} AND CMAKE_CROSSCOMPILING)
    find_path(${cache_name}_host ${header} NO_CMAKE_FIND_ROOT_PATH)
    if(${cache_name}_host)
      get_filename_component(top_folder ${header} DIRECTORY)
      set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
      file(MAKE_DIRECTORY ${host_headers})
      file(CREATE_LINK ${${cache_name}_host}/${top_folder} ${host_headers}/${top_folder} SYMBOLIC)
      set(${cache_name} ${host_headers} CACHE PATH "Folder holding ${header}" FORCE)
    endif()
  endif()
  if(NOT ${cache_name})
    message(FATAL_ERROR "${package} not found: run .ci/install-deps.sh, which installs Debian's "
      "${debian_package} and the other build tools")
  endif()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${${cache_name}})
endfunction()

fragtally_header_only(CLI11::CLI11 CLI11 CLI/CLI.hpp libcli11-dev)
fragtally_header_only(nlohmann_json::nlohmann_json nlohmann_json nlohmann/json.hpp
  nlohmann-json3-dev)
