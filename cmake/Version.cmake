# The programs' version for their C++ and resource scripts: one header,
# quorvane_version.h, made from PROJECT_VERSION in
# ${QUORVANE_VERSION_HEADER_DIR} and reached by linking quorvane::version.
# Not a compile definition: one on the libraries that print it reached the
# command line of every file linking them, so a new number (the installer
# upgrade test's) recompiled nearly everything. configure_file rewrites the
# header only when its text changes, and only the files that print the
# version include it, so only they are recompiled.
# QUORVANE_VERSION_MAJOR, _MINOR, _PATCH and _TWEAK are the four fields, 0
# where the version leaves one out.
set(QUORVANE_VERSION_MAJOR "${PROJECT_VERSION_MAJOR}")
set(QUORVANE_VERSION_MINOR "${PROJECT_VERSION_MINOR}")
set(QUORVANE_VERSION_PATCH "${PROJECT_VERSION_PATCH}")
set(QUORVANE_VERSION_TWEAK "${PROJECT_VERSION_TWEAK}")
foreach(_field MAJOR MINOR PATCH TWEAK)
  if("${QUORVANE_VERSION_${_field}}" STREQUAL "")
    set(QUORVANE_VERSION_${_field} 0)
  endif()
endforeach()

set(QUORVANE_VERSION_HEADER_DIR "${CMAKE_BINARY_DIR}/generated/version")
configure_file("${PROJECT_SOURCE_DIR}/cmake/quorvane_version.h.in"
               "${QUORVANE_VERSION_HEADER_DIR}/quorvane_version.h" @ONLY)
add_library(quorvane_version INTERFACE)
add_library(quorvane::version ALIAS quorvane_version)
target_include_directories(quorvane_version INTERFACE "${QUORVANE_VERSION_HEADER_DIR}")
