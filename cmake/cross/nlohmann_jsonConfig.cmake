# nlohmann-json for the cross build: the header-only library of the build
# machine, copied on its own so that no other header of the build machine
# comes along.
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(OMBREL_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT OMBREL_NLOHMANN_JSON_INCLUDE)
    set(nlohmann_json_FOUND FALSE)
    set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found: scripts/setup installs nlohmann-json3-dev")
    return()
  endif()
  file(COPY ${OMBREL_NLOHMANN_JSON_INCLUDE}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/nlohmann_json/include)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/nlohmann_json/include)
endif()
set(nlohmann_json_FOUND TRUE)
