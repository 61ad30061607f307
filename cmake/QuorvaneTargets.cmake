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

# quorvane_add_gtest(name sources... LIBS libs...): a GoogleTest program run by ctest.
function(quorvane_add_gtest name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(CMAKE_CROSSCOMPILING)
    # One ctest entry per program: listing the tests would start Wine at
    # build time. ctest starts it through the toolchain's emulator.
    add_test(NAME ${name} COMMAND ${name})
    quorvane_wine_test_environment(${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
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
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
  quorvane_check_includes(${name})
endfunction()

# The layer folders, bottom up. A layer's folder holds its library of the same name.
set(QUORVANE_LAYERS base protocol serial sim controller history ctl controls app)

# The quorvane libraries a target links, directly or through its libraries' links.
function(_quorvane_linked_layers target out)
  set(seen "")
  get_target_property(pending ${target} LINK_LIBRARIES)
  if(NOT pending)
    set(pending "")
  endif()
  while(pending)
    list(POP_FRONT pending item)
    if(NOT TARGET "${item}")
      continue()
    endif()
    get_target_property(real "${item}" ALIASED_TARGET)
    if(NOT real)
      set(real "${item}")
    endif()
    if(real IN_LIST seen OR NOT real IN_LIST QUORVANE_LAYERS)
      continue()
    endif()
    list(APPEND seen ${real})
    get_target_property(more ${real} INTERFACE_LINK_LIBRARIES)
    if(more)
      list(APPEND pending ${more})
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Writes, for every registered target, the files it compiles and the layer
# folders it may include from, and adds the test that checks them.
function(quorvane_add_layering_check)
  get_property(targets GLOBAL PROPERTY QUORVANE_CHECKED_TARGETS)
  set(map "${CMAKE_BINARY_DIR}/layering_map.cmake")
  set(text "set(CHECKED_TARGETS ${targets})\nset(LAYERS ${QUORVANE_LAYERS})\n")
  # Programs that live in a layer's folder are checked as themselves.
  set(owned "")
  foreach(target IN LISTS targets)
    if(NOT target IN_LIST QUORVANE_LAYERS)
      get_target_property(dir ${target} SOURCE_DIR)
      get_target_property(sources ${target} SOURCES)
      foreach(source IN LISTS sources)
        list(APPEND owned "${dir}/${source}")
      endforeach()
    endif()
  endforeach()
  foreach(target IN LISTS targets)
    _quorvane_linked_layers(${target} allowed)
    get_target_property(dir ${target} SOURCE_DIR)
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${dir}")
    if(target IN_LIST QUORVANE_LAYERS)
      # A layer's headers are its folder's, whether or not a source lists them.
      list(APPEND allowed ${target})
      file(GLOB_RECURSE files "${dir}/*.cpp" "${dir}/*.h")
      # A layer's other platform part is not built here.
      if(WIN32)
        list(FILTER files EXCLUDE REGEX "/(posix|qt)/")
      else()
        list(FILTER files EXCLUDE REGEX "/win32/")
      endif()
      list(REMOVE_ITEM files ${owned})
    else()
      set(files "")
      get_target_property(sources ${target} SOURCES)
      foreach(source IN LISTS sources)
        if(source MATCHES "\\.(cpp|h)$")
          list(APPEND files "${dir}/${source}")
        endif()
      endforeach()
      # A test folder's own support headers; a platform's test folder also
      # those its parent shares between platforms.
      list(APPEND allowed "${folder}")
      if(folder MATCHES "/(posix|qt|win32)$")
        string(REGEX REPLACE "/[^/]*$" "" shared "${folder}")
        list(APPEND allowed "${shared}")
      endif()
      # The folder of a checked library outside the layers that it links
      # (support shared by tests and benchmarks).
      get_target_property(links ${target} LINK_LIBRARIES)
      foreach(link IN LISTS links)
        if(link IN_LIST targets AND NOT link IN_LIST QUORVANE_LAYERS)
          get_target_property(link_dir ${link} SOURCE_DIR)
          file(RELATIVE_PATH link_folder "${PROJECT_SOURCE_DIR}" "${link_dir}")
          list(APPEND allowed "${link_folder}")
        endif()
      endforeach()
    endif()
    string(APPEND text "set(FILES_${target} ${files})\nset(ALLOWED_${target} ${allowed})\n")
  endforeach()
  file(WRITE "${map}" "${text}")
  add_test(NAME layering COMMAND ${CMAKE_COMMAND} -DMAP=${map} -DROOT=${PROJECT_SOURCE_DIR}
                                 -P "${PROJECT_SOURCE_DIR}/cmake/CheckLayering.cmake")
endfunction()

# quorvane_header_only_deps(target): CLI11 and nlohmann-json for target, as
# SYSTEM includes from a build-tree folder of links to their header folders.
# Only those two folders are reachable there, so a cross build never sees
# the rest of the host's /usr/include.
set(QUORVANE_HEADER_ONLY_ROOT "/usr/include" CACHE PATH "Where CLI/ and nlohmann/ are")
function(quorvane_header_only_deps target)
  set(dir "${CMAKE_BINARY_DIR}/header-only")
  foreach(sub CLI nlohmann)
    if(NOT EXISTS "${QUORVANE_HEADER_ONLY_ROOT}/${sub}")
      message(FATAL_ERROR "${QUORVANE_HEADER_ONLY_ROOT}/${sub} is missing (libcli11-dev, nlohmann-json3-dev)")
    endif()
    if(NOT EXISTS "${dir}/${sub}")
      file(MAKE_DIRECTORY "${dir}")
      file(CREATE_LINK "${QUORVANE_HEADER_ONLY_ROOT}/${sub}" "${dir}/${sub}" SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} SYSTEM PUBLIC "${dir}")
endfunction()
