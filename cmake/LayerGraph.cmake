# The layers and the links allowed between them, declared once. Every layer
# is a folder holding a static library of the same name; a layer may link
# only the layers listed after its colon, all of which come before it in this
# list. The build refuses, at configure time, any other link between layers,
# and checks at build time that every include follows the links.
set(QUORVANE_LAYER_GRAPH
  "base:"
  "protocol:"
  "board:protocol"
  "limits:board,protocol"
  "serial:base"
  "sim:protocol,base"
  "controller:board,limits,protocol,serial"
  "history:controller"
  "ctl:history,controller,limits,protocol,serial"
  "controls:controller"
  "app:controls,controller,history,limits,serial"
)

set(QUORVANE_LAYERS "")
foreach(_entry IN LISTS QUORVANE_LAYER_GRAPH)
  string(REPLACE ":" ";" _parts "${_entry}")
  list(GET _parts 0 _layer)
  set(_below "")
  list(LENGTH _parts _count)
  if(_count GREATER 1)
    list(GET _parts 1 _below)
    string(REPLACE "," ";" _below "${_below}")
  endif()
  foreach(_lower IN LISTS _below)
    if(NOT _lower IN_LIST QUORVANE_LAYERS)
      message(FATAL_ERROR "Layer graph: ${_layer} -> ${_lower}, but ${_lower} is not a layer "
                          "declared below ${_layer}; the graph must point downwards only")
    endif()
  endforeach()
  list(APPEND QUORVANE_LAYERS ${_layer})
  set(QUORVANE_LAYER_LINKS_${_layer} ${_below})
endforeach()

# Programs that live in a layer's folder link what their layer may, plus what
# is declared here for them by name, with the reason.
# quorvane_allow_program_link(program layer reason)
function(quorvane_allow_program_link program layer reason)
  set_property(GLOBAL APPEND PROPERTY QUORVANE_PROGRAM_LINKS_${program} ${layer})
endfunction()

# The layer a quorvane library target is, or empty.
function(_quorvane_layer_of item out)
  set(${out} "" PARENT_SCOPE)
  if(NOT TARGET "${item}")
    return()
  endif()
  get_target_property(real "${item}" ALIASED_TARGET)
  if(NOT real)
    set(real "${item}")
  endif()
  if(real IN_LIST QUORVANE_LAYERS)
    set(${out} ${real} PARENT_SCOPE)
  endif()
endfunction()

# The layers a target links directly (its own and its interface's links).
function(_quorvane_direct_layers target out)
  set(found "")
  foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
    get_target_property(items ${target} ${property})
    if(NOT items)
      continue()
    endif()
    foreach(item IN LISTS items)
      _quorvane_layer_of("${item}" layer)
      if(layer AND NOT layer STREQUAL target AND NOT layer IN_LIST found)
        list(APPEND found ${layer})
      endif()
    endforeach()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The quorvane libraries a target links, directly or through its libraries' links.
function(_quorvane_linked_layers target out)
  set(seen "")
  get_target_property(pending ${target} LINK_LIBRARIES)
  if(NOT pending)
    set(pending "")
  endif()
  while(pending)
    list(POP_FRONT pending item)
    _quorvane_layer_of("${item}" real)
    if(NOT real OR real IN_LIST seen)
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

# Fails the configuration on any link between layers that the graph does not
# declare: a layer library's, or a program's in a layer's folder.
function(quorvane_check_layer_graph)
  get_property(targets GLOBAL PROPERTY QUORVANE_CHECKED_TARGETS)
  set(failures "")
  foreach(target IN LISTS targets)
    if(target IN_LIST QUORVANE_LAYERS)
      set(layer ${target})
      set(allowed ${QUORVANE_LAYER_LINKS_${target}})
    else()
      get_target_property(dir ${target} SOURCE_DIR)
      file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${dir}")
      string(REGEX REPLACE "/.*$" "" layer "${folder}")
      if(NOT layer IN_LIST QUORVANE_LAYERS)
        continue()  # tests, benchmarks and fuzzers may link any layer
      endif()
      get_property(extra GLOBAL PROPERTY QUORVANE_PROGRAM_LINKS_${target})
      set(allowed ${layer} ${QUORVANE_LAYER_LINKS_${layer}} ${extra})
    endif()
    _quorvane_direct_layers(${target} linked)
    foreach(lower IN LISTS linked)
      if(NOT lower IN_LIST allowed)
        string(APPEND failures "  ${target} (in ${layer}/) -> ${lower}\n")
      endif()
    endforeach()
  endforeach()
  if(failures)
    message(FATAL_ERROR "Links between layers that the layer graph does not allow "
                        "(cmake/LayerGraph.cmake):\n${failures}")
  endif()
  string(REPLACE ";" "  " shown "${QUORVANE_LAYER_GRAPH}")
  message(STATUS "Layer graph (each layer: the layers it may link): ${shown}")
endfunction()

# Writes, for every registered target, the files it compiles and the layer
# folders it may include from; the build checks them (target layering_check,
# part of every build) and so does ctest (test layering) where tests are on.
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
  set(all_files "")
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
          if(IS_ABSOLUTE "${source}")
            list(APPEND files "${source}")
          else()
            list(APPEND files "${dir}/${source}")
          endif()
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
    list(APPEND all_files ${files})
    string(APPEND text "set(FILES_${target} ${files})\nset(ALLOWED_${target} ${allowed})\n")
  endforeach()
  # Rewritten only when it changes, so an unchanged tree is not checked again.
  set(old "")
  if(EXISTS "${map}")
    file(READ "${map}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${map}" "${text}")
  endif()
  set(script "${PROJECT_SOURCE_DIR}/cmake/CheckLayering.cmake")
  set(stamp "${CMAKE_BINARY_DIR}/layering_checked.stamp")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" -DMAP=${map} -DROOT=${PROJECT_SOURCE_DIR} -P "${script}"
    COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
    DEPENDS "${map}" "${script}" ${all_files}
    COMMENT "Checking that every include follows its target's links"
    VERBATIM)
  add_custom_target(layering_check ALL DEPENDS "${stamp}")
  if(QUORVANE_BUILD_TESTS)
    add_test(NAME layering COMMAND ${CMAKE_COMMAND} -DMAP=${map} -DROOT=${PROJECT_SOURCE_DIR}
                                   -P "${script}")
    set_tests_properties(layering PROPERTIES LABELS unit)
  endif()
endfunction()
