# nlohmann-json for the cross build.
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaderLibrary.cmake)
ombrel_host_header_library(nlohmann_json nlohmann_json::nlohmann_json nlohmann/json.hpp nlohmann-json3-dev)
