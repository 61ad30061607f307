# The version of the Windows installer, from the fields of cmake/Version.cmake:
# all four, QUORVANE_WINDOWS_VERSION, and QUORVANE_WINDOWS_NEXT_BUILD, the
# first three with the third plus one: Windows Installer compares only those
# three (major and minor up to 255, build up to 65535), so the installer
# replaces every older product below it.
set(_major "${QUORVANE_VERSION_MAJOR}")
set(_minor "${QUORVANE_VERSION_MINOR}")
set(_patch "${QUORVANE_VERSION_PATCH}")
set(_tweak "${QUORVANE_VERSION_TWEAK}")
if(_major GREATER 255 OR _minor GREATER 255 OR _patch GREATER 65534 OR _tweak GREATER 65535)
  message(FATAL_ERROR "Version ${PROJECT_VERSION} does not fit a Windows installer "
                      "(major and minor up to 255, the third field up to 65534, the fourth up to 65535)")
endif()
set(QUORVANE_WINDOWS_VERSION "${_major}.${_minor}.${_patch}.${_tweak}")
math(EXPR _next "${_patch} + 1")
set(QUORVANE_WINDOWS_NEXT_BUILD "${_major}.${_minor}.${_next}")
