# The Debian package: one package "quorvane" with everything the build
# installs (the programs, their manual pages, the desktop entry and icons)
# plus the files Debian wants in /usr/share/doc/quorvane. Made by cpack in a
# Release build: scripts/package.sh.
include(GNUInstallDirs)

set(_doc "${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME}")
# The package's version is the program's, with no Debian revision: a native
# package, whose changelog Debian names changelog.gz (not changelog.Debian.gz).
set(_changelog "${CMAKE_BINARY_DIR}/packaging/changelog.gz")
add_custom_command(OUTPUT "${_changelog}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/packaging"
  COMMAND "${QUORVANE_GZIP}" -9n -c "${PROJECT_SOURCE_DIR}/packaging/changelog" > "${_changelog}"
  DEPENDS "${PROJECT_SOURCE_DIR}/packaging/changelog"
  COMMENT "Compressing the package's changelog"
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS "${_changelog}")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" "${_changelog}" DESTINATION "${_doc}")
# A lab's limits file with every key (quorvane-limits(5)), to copy to /etc/quorvane.
install(FILES "${PROJECT_SOURCE_DIR}/docs/examples/limits.toml" DESTINATION "${_doc}/examples")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvane developers <dev@quorvane.invalid>")
set(CPACK_PACKAGE_VENDOR "Quorvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a pulsed laser driver board on a serial port")
# Lines as they appear in the control file (cpack indents them).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A desktop panel for the Quorvane pulsed laser driver board, attached"
  "through a serial port: pick the port, open it, watch the board's"
  "set-points and readings (pump current, repetition frequency, pulse"
  "duration, temperatures) and send new settings."
  ""
  "Also in this package: quorvane-demo, the panel with a virtual board"
  "attached; quorvane-board-sim, the virtual board on a pseudo-terminal;"
  "and quorvane-ctl, a command-line front end for scripts and logging.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvane.invalid/")
# Depends computed by dpkg-shlibdeps from the programs' libraries (Qt's xcb
# window-system plugin comes with libqt6gui6). The fonts give the window its
# intended face and the glyphs of the step buttons and the degree sign; without
# them it still works, with substitutes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-crosextra-caladea, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The changelog's newest entry must name the version being packaged.
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/CheckPackageChangelog.cmake")
set(CPACK_QUORVANE_CHANGELOG "${PROJECT_SOURCE_DIR}/packaging/changelog")
include(CPack)
