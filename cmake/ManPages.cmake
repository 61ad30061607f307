# Manual pages: troff sources under man/, compressed into the build tree the
# way Debian ships them, installed to share/man/man1, and checked against the
# program they describe so a new option cannot go undocumented.
include(GNUInstallDirs)
find_program(QUORVANE_GZIP gzip REQUIRED)

# quorvane_add_man_page(<target> <source>): builds <source> (relative to the
# calling folder) into man1/<name>.gz, installs it, and with the tests on adds
# man_page_<target>, which runs <target> --help and --version.
function(quorvane_add_man_page target source)
  get_filename_component(source "${source}" ABSOLUTE)
  get_filename_component(name "${source}" NAME)
  set(page "${CMAKE_BINARY_DIR}/man/man1/${name}.gz")
  # -n: no name or time stamp in the gzip header, so the page is reproducible.
  add_custom_command(OUTPUT "${page}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/man/man1"
    COMMAND "${QUORVANE_GZIP}" -9n -c "${source}" > "${page}"
    DEPENDS "${source}"
    COMMENT "Compressing manual page ${name}"
    VERBATIM)
  add_custom_target(man_${target} ALL DEPENDS "${page}")
  install(FILES "${page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

  if(QUORVANE_BUILD_TESTS)
    add_test(NAME man_page_${target}
             COMMAND "${CMAKE_COMMAND}" -DPROGRAM=$<TARGET_FILE:${target}> -DPAGE=${source}
                     -DVERSION=${PROJECT_VERSION} -P "${PROJECT_SOURCE_DIR}/cmake/CheckManPage.cmake")
    # No display: the answers must not depend on one.
    set_tests_properties(man_page_${target} PROPERTIES
      ENVIRONMENT_MODIFICATION "DISPLAY=unset:;WAYLAND_DISPLAY=unset:;QT_QPA_PLATFORM=set:xcb"
      LABELS unit)
  endif()
endfunction()

# quorvane_add_file_page(<source> <section>): a page of no program (a file's
# format), built and installed like the programs' pages into man<section>.
function(quorvane_add_file_page source section)
  get_filename_component(source "${source}" ABSOLUTE)
  get_filename_component(name "${source}" NAME)
  set(page "${CMAKE_BINARY_DIR}/man/man${section}/${name}.gz")
  add_custom_command(OUTPUT "${page}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/man/man${section}"
    COMMAND "${QUORVANE_GZIP}" -9n -c "${source}" > "${page}"
    DEPENDS "${source}"
    COMMENT "Compressing manual page ${name}"
    VERBATIM)
  add_custom_target(man_${name} ALL DEPENDS "${page}")
  install(FILES "${page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}")
endfunction()
