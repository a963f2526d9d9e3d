cmake_minimum_required(VERSION 3.25)
# Writes BuildVersion.cpp, touching it only when the text changes so that an
# unchanged build relinks nothing. The build's version is the packager's
# OMBREL_BUILD_VERSION when given, else the commit the sources come from,
# else the product version.
# Script mode: -DSOURCE_DIR= -DOUTPUT= -DPRODUCT_VERSION= [-DBUILD_VERSION=]
if(NOT BUILD_VERSION)
  execute_process(COMMAND git describe --always --dirty
    WORKING_DIRECTORY "${SOURCE_DIR}"
    OUTPUT_VARIABLE BUILD_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_failed ERROR_QUIET)
  if(git_failed OR NOT BUILD_VERSION)
    set(BUILD_VERSION "${PRODUCT_VERSION}")
  endif()
endif()
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT
"#include \"BuildVersion.h\"

const char* const kProductVersion = \"@PRODUCT_VERSION@\";
const char* const kBuildVersion = \"@BUILD_VERSION@\";
" @ONLY)
