# CLI11 for the cross build.
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaderLibrary.cmake)
ombrel_host_header_library(CLI11 CLI11::CLI11 CLI/CLI.hpp libcli11-dev)
