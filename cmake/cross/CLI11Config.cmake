# CLI11 for the cross build: the header-only library of the build machine,
# copied on its own so that no other header of the build machine comes along.
if(NOT TARGET CLI11::CLI11)
  find_path(OMBREL_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT OMBREL_CLI11_INCLUDE)
    set(CLI11_FOUND FALSE)
    set(CLI11_NOT_FOUND_MESSAGE "CLI/CLI.hpp not found: scripts/setup installs libcli11-dev")
    return()
  endif()
  file(COPY ${OMBREL_CLI11_INCLUDE}/CLI DESTINATION ${CMAKE_BINARY_DIR}/cli11/include)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cli11/include)
endif()
set(CLI11_FOUND TRUE)
