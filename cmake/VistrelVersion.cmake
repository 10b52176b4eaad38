# Version information compiled into the programs (the stand-in for a version resource).
set(VISTREL_VERSION_STRING ${PROJECT_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${CMAKE_BINARY_DIR}/generated/vistrel/Version.h @ONLY)
add_library(vistrel_version INTERFACE)
target_include_directories(vistrel_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
