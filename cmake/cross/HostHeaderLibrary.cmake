# A header-only library of the build machine for the cross build: its one
# folder of headers is copied on its own, so that no other header of the
# build machine comes along, and offered as an imported target.
#   package: the find_package name; target: the imported target;
#   header: a header under /usr/include that names the folder; debian: its package.
macro(ombrel_host_header_library package target header debian)
  if(NOT TARGET ${target})
    find_path(OMBREL_${package}_INCLUDE ${header} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
    if(NOT OMBREL_${package}_INCLUDE)
      set(${package}_FOUND FALSE)
      set(${package}_NOT_FOUND_MESSAGE "${header} not found: scripts/setup installs ${debian}")
      return()
    endif()
    get_filename_component(_ombrel_folder ${header} DIRECTORY)
    file(COPY ${OMBREL_${package}_INCLUDE}/${_ombrel_folder} DESTINATION ${CMAKE_BINARY_DIR}/${package}/include)
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/${package}/include)
  endif()
  set(${package}_FOUND TRUE)
endmacro()
