# The version record of the Windows programs: a header for their resource
# scripts (QUORVANE_VERSION_FIELDS, QUORVANE_VERSION_TEXT) made from
# PROJECT_VERSION, in ${QUORVANE_VERSION_HEADER_DIR}; and the same version
# with its four fields for the installer, QUORVANE_WINDOWS_VERSION, and
# QUORVANE_WINDOWS_NEXT_BUILD, the first three fields with the third plus one:
# Windows Installer compares only those three (major and minor up to 255,
# build up to 65535), so the installer replaces every older product below it.
set(_major "${PROJECT_VERSION_MAJOR}")
set(_minor "${PROJECT_VERSION_MINOR}")
set(_patch "${PROJECT_VERSION_PATCH}")
set(_tweak "${PROJECT_VERSION_TWEAK}")
foreach(_field _major _minor _patch _tweak)
  if("${${_field}}" STREQUAL "")
    set(${_field} 0)
  endif()
endforeach()
if(_major GREATER 255 OR _minor GREATER 255 OR _patch GREATER 65534 OR _tweak GREATER 65535)
  message(FATAL_ERROR "Version ${PROJECT_VERSION} does not fit a Windows installer "
                      "(major and minor up to 255, the third field up to 65534, the fourth up to 65535)")
endif()
set(QUORVANE_WINDOWS_VERSION "${_major}.${_minor}.${_patch}.${_tweak}")
math(EXPR _next "${_patch} + 1")
set(QUORVANE_WINDOWS_NEXT_BUILD "${_major}.${_minor}.${_next}")

set(QUORVANE_VERSION_HEADER_DIR "${CMAKE_BINARY_DIR}/generated/version")
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/version.h.in"
               "${QUORVANE_VERSION_HEADER_DIR}/quorvane_version.h" @ONLY)
