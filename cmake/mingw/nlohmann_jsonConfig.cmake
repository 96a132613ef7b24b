# nlohmann/json for a Windows cross-build: the header-only library of the
# build machine, offered through a folder of the build tree that holds
# nothing but it, so no other header of the build machine comes along.
if(TARGET nlohmann_json::nlohmann_json)
  return()
endif()
find_path(MORVANE_NLOHMANN_JSON_ROOT nlohmann/json.hpp PATHS /usr/include /usr/local/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT MORVANE_NLOHMANN_JSON_ROOT)
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found (install nlohmann-json3-dev)")
  return()
endif()
set(_nlohmann_include ${CMAKE_BINARY_DIR}/mingw-deps/include)
file(MAKE_DIRECTORY ${_nlohmann_include})
if(NOT EXISTS ${_nlohmann_include}/nlohmann)
  file(CREATE_LINK ${MORVANE_NLOHMANN_JSON_ROOT}/nlohmann ${_nlohmann_include}/nlohmann SYMBOLIC)
endif()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_nlohmann_include})
set(nlohmann_json_FOUND TRUE)
