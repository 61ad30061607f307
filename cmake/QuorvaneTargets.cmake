# Shared compile settings: every target links quorvane_options instead of
# editing global flags, so warnings and sanitizers stay per target.
add_library(quorvane_options INTERFACE)
add_library(quorvane::options ALIAS quorvane_options)
target_compile_features(quorvane_options INTERFACE cxx_std_20)
target_compile_options(quorvane_options INTERFACE -Wall -Wextra -Wpedantic)
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

# quorvane_add_library(name sources...): a static layer library with its alias.
function(quorvane_add_library name)
  add_library(${name} STATIC ${ARGN})
  add_library(quorvane::${name} ALIAS ${name})
  target_link_libraries(${name} PUBLIC quorvane::options)
endfunction()

# quorvane_add_gtest(name sources... LIBS libs...): a GoogleTest program run by ctest.
function(quorvane_add_gtest name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
