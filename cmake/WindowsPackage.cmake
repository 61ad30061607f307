# The Windows packages of the panel: an installer (.msi, made by wixl from
# packaging/windows/quorvane.wxs) and a zip of the same files, for machines
# where nothing may be installed. Target windows_package; run by
# scripts/windows-package.sh. Both hold quorvane.exe, quorvane-ctl.exe
# (stripped copies), README.txt and LICENSE.txt, staged once in
# windows-package/quorvane-<version>-win64/ of the build.
find_program(QUORVANE_WIXL wixl)
find_program(QUORVANE_ZIP zip)
if(NOT QUORVANE_WIXL OR NOT QUORVANE_ZIP)
  add_custom_target(windows_package
    COMMAND "${CMAKE_COMMAND}" -E echo "windows_package needs wixl and zip (bash scripts/install-deps.sh)"
    COMMAND "${CMAKE_COMMAND}" -E false)
  return()
endif()

set(_out "${CMAKE_BINARY_DIR}/windows-package")
set(_name "quorvane-${QUORVANE_WINDOWS_VERSION}-win64")
set(_stage "${_out}/${_name}")
set(_msi "${_out}/quorvane-${QUORVANE_WINDOWS_VERSION}-x64.msi")
set(_zip "${_out}/${_name}.zip")
set(_wxs "${PROJECT_SOURCE_DIR}/packaging/windows/quorvane.wxs")
set(_icon "${PROJECT_SOURCE_DIR}/resources/quorvane.ico")

# Texts for Windows' own editors: CRLF line ends.
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt" "${_stage}/README.txt"
               @ONLY NEWLINE_STYLE WIN32)
configure_file("${PROJECT_SOURCE_DIR}/packaging/copyright" "${_stage}/LICENSE.txt"
               @ONLY NEWLINE_STYLE WIN32)
# wixl takes only paths relative to where it runs: the staging folder.
file(RELATIVE_PATH _icon_from_stage "${_stage}" "${_icon}")

add_custom_command(OUTPUT "${_msi}" "${_zip}"
  COMMAND "${CMAKE_COMMAND}" -E copy $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-ctl> "${_stage}"
  COMMAND "${CMAKE_STRIP}" "${_stage}/quorvane.exe" "${_stage}/quorvane-ctl.exe"
  COMMAND "${QUORVANE_WIXL}" -a x64 -D "Version=${QUORVANE_WINDOWS_VERSION}"
          -D "NextBuild=${QUORVANE_WINDOWS_NEXT_BUILD}" -D Panel=quorvane.exe
          -D Ctl=quorvane-ctl.exe -D Readme=README.txt -D Licence=LICENSE.txt
          -D "Icon=${_icon_from_stage}" -o "${_msi}" "${_wxs}"
  # zip adds to an existing archive; a new one holds exactly the staged files.
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${_zip}"
  COMMAND "${CMAKE_COMMAND}" -E chdir "${_out}" "${QUORVANE_ZIP}" -X -q -9 -r "${_zip}" "${_name}"
  WORKING_DIRECTORY "${_stage}"
  DEPENDS quorvane quorvane-ctl "${_wxs}" "${_icon}" "${_stage}/README.txt" "${_stage}/LICENSE.txt"
  COMMENT "Windows installer and zip of Quorvane ${QUORVANE_WINDOWS_VERSION}"
  VERBATIM)
add_custom_target(windows_package DEPENDS "${_msi}" "${_zip}")
