# Shared compile settings: every target links quorvane_options instead of
# editing global flags, so warnings and sanitizers stay per target.
add_library(quorvane_options INTERFACE)
add_library(quorvane::options ALIAS quorvane_options)
target_compile_features(quorvane_options INTERFACE cxx_std_20)
# A switch over one of our enums lists every value: one added to an enum and
# forgotten in a switch fails the build instead of falling to another case.
target_compile_options(quorvane_options INTERFACE -Wall -Wextra -Wpedantic -Werror=switch)
target_include_directories(quorvane_options INTERFACE "${PROJECT_SOURCE_DIR}")

if(QUORVANE_SANITIZE STREQUAL "address")
  target_compile_options(quorvane_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quorvane_options INTERFACE -fsanitize=address,undefined)
elseif(QUORVANE_SANITIZE STREQUAL "thread")
  target_compile_options(quorvane_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(quorvane_options INTERFACE -fsanitize=thread)
elseif(NOT QUORVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QUORVANE_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Every target below is registered for the layering check (CheckLayering.cmake).
define_property(GLOBAL PROPERTY QUORVANE_CHECKED_TARGETS BRIEF_DOCS "targets whose includes are checked"
                FULL_DOCS "Library and program targets whose includes must follow their links.")
function(quorvane_check_includes name)
  set_property(GLOBAL APPEND PROPERTY QUORVANE_CHECKED_TARGETS ${name})
endfunction()

# quorvane_add_library(name sources...): a static layer library with its alias;
# its folder is the layer of the same name.
function(quorvane_add_library name)
  add_library(${name} STATIC ${ARGN})
  add_library(quorvane::${name} ALIAS ${name})
  target_link_libraries(${name} PUBLIC quorvane::options)
  quorvane_check_includes(${name})
endfunction()

# Tests of the cross build run under Wine, in a prefix of the build's own.
set(QUORVANE_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH "Wine prefix for the Windows tests")
function(quorvane_wine_test_environment test)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "WINEPREFIX=${QUORVANE_WINEPREFIX}"
                                                        "WINEDEBUG=-all")
endfunction()

# Test tiers, as ctest labels: unit (no device, no window), pty (the virtual
# board or the link on pseudo-terminals), gui (a real Qt window, offscreen),
# stress, package, and wine (the Windows build's suites; the cross build
# labels its whole test tree so).

# quorvane_add_gtest(name sources... [LABEL tier] LIBS libs...): a GoogleTest
# program run by ctest, in the unit tier unless told otherwise.
function(quorvane_add_gtest name)
  cmake_parse_arguments(T "" "LABEL" "LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(CMAKE_CROSSCOMPILING)
    # One ctest entry per program: listing the tests would start Wine at
    # build time. ctest starts it through the toolchain's emulator.
    add_test(NAME ${name} COMMAND ${name})
    quorvane_wine_test_environment(${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${T_LABEL})
  endif()
  quorvane_check_includes(${name})
endfunction()

# quorvane_add_qtest(name sources... LIBS libs...): a Qt Test program run
# offscreen by ctest; real window-system input paths for mouse and keys.
function(quorvane_add_qtest name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  target_compile_definitions(${name} PRIVATE QTEST_QPA_MOUSE_HANDLING)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120
                                          LABELS gui)
  quorvane_check_includes(${name})
endfunction()

# quorvane_header_only_deps(target): CLI11, nlohmann-json and toml++ for target, as
# SYSTEM includes from a build-tree folder of links to their header folders.
# Only those folders are reachable there, so a cross build never sees
# the rest of the host's /usr/include.
set(QUORVANE_HEADER_ONLY_ROOT "/usr/include" CACHE PATH "Where CLI/, nlohmann/ and toml++/ are")
function(quorvane_header_only_deps target)
  set(dir "${CMAKE_BINARY_DIR}/header-only")
  foreach(sub CLI nlohmann toml++)
    if(NOT EXISTS "${QUORVANE_HEADER_ONLY_ROOT}/${sub}")
      message(FATAL_ERROR "${QUORVANE_HEADER_ONLY_ROOT}/${sub} is missing (libcli11-dev, nlohmann-json3-dev, libtomlplusplus-dev)")
    endif()
    if(NOT EXISTS "${dir}/${sub}")
      file(MAKE_DIRECTORY "${dir}")
      file(CREATE_LINK "${QUORVANE_HEADER_ONLY_ROOT}/${sub}" "${dir}/${sub}" SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} SYSTEM PUBLIC "${dir}")
endfunction()
