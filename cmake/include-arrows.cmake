# The arrows between the project's libraries, as the targets themselves link
# them, written out at configure time for cmake/check-include-arrows.cmake:
# a file may include a header only of a library its own target links, directly
# or through what that library passes on to its users.

# Every target defined in `dir` and the folders below it.
function(_slicery_targets_below dir out)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _slicery_targets_below("${sub}" more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The project's targets among a link property's items. A $<LINK_ONLY:...>
# item (a static library's private link) is linked but not passed on, so it
# counts only when `usage` is OFF.
function(_slicery_linked_targets items usage known out)
  set(result)
  foreach(item IN LISTS items)
    if(item MATCHES "^::@")
      continue()
    endif()
    string(REGEX REPLACE "::@\\(.*\\)$" "" item "${item}")
    if(item MATCHES "^\\$<LINK_ONLY:(.+)>$")
      if(usage)
        continue()
      endif()
      set(item "${CMAKE_MATCH_1}")
    endif()
    if(TARGET "${item}")
      get_target_property(aliased "${item}" ALIASED_TARGET)
      if(aliased)
        set(item "${aliased}")
      endif()
    endif()
    if(item IN_LIST known)
      list(APPEND result "${item}")
    elseif(item MATCHES "^\\$<")
      # Any other expression: the project's targets it names.
      string(REGEX MATCHALL "[A-Za-z0-9_.+-]+" words "${item}")
      foreach(word IN LISTS words)
        if(word IN_LIST known)
          list(APPEND result "${word}")
        endif()
      endforeach()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES result)
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Whether `path` lies in the source tree and outside the build tree.
function(_slicery_in_tree path out)
  string(FIND "${path}/" "${PROJECT_SOURCE_DIR}/" in_source)
  string(FIND "${path}/" "${PROJECT_BINARY_DIR}/" in_build)
  if(in_source EQUAL 0 AND NOT in_build EQUAL 0)
    set(${out} ON PARENT_SCOPE)
  else()
    set(${out} OFF PARENT_SCOPE)
  endif()
endfunction()

# Writes `graph`: each target of the source tree with its kind, sources, the
# targets it links and those it passes on, and the folders whose files are
# looked through. Then registers the test that checks the includes against it.
function(slicery_include_arrows_test graph)
  _slicery_targets_below("${PROJECT_SOURCE_DIR}" all)
  set(targets)
  foreach(target IN LISTS all)
    get_target_property(kind ${target} TYPE)
    get_target_property(dir ${target} SOURCE_DIR)
    _slicery_in_tree("${dir}" in_tree)
    if(in_tree AND kind MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|INTERFACE_LIBRARY)$")
      list(APPEND targets ${target})
    endif()
  endforeach()

  set(text "# Written by cmake/include-arrows.cmake at configure time.\n")
  string(APPEND text "set(ARROWS_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")\n")
  string(APPEND text "set(ARROWS_BINARY_DIR \"${PROJECT_BINARY_DIR}\")\n")
  string(APPEND text "set(ARROWS_TARGETS \"${targets}\")\n")
  set(scan_dirs)
  set(include_dirs)
  foreach(target IN LISTS targets)
    get_target_property(kind ${target} TYPE)
    get_target_property(dir ${target} SOURCE_DIR)
    if(NOT dir STREQUAL PROJECT_SOURCE_DIR)
      list(APPEND scan_dirs "${dir}")
    endif()

    get_target_property(sources ${target} SOURCES)
    set(files)
    foreach(source IN LISTS sources)
      if(source MATCHES "\\$<" OR NOT source)
        continue()
      endif()
      get_filename_component(file "${source}" ABSOLUTE BASE_DIR "${dir}")
      _slicery_in_tree("${file}" in_tree)
      if(in_tree)
        list(APPEND files "${file}")
      endif()
    endforeach()

    set(links)
    if(NOT kind STREQUAL "INTERFACE_LIBRARY")
      get_target_property(items ${target} LINK_LIBRARIES)
      _slicery_linked_targets("${items}" OFF "${targets}" links)
    endif()
    get_target_property(items ${target} INTERFACE_LINK_LIBRARIES)
    _slicery_linked_targets("${items}" ON "${targets}" passes)
    if(kind STREQUAL "INTERFACE_LIBRARY")
      set(links "${passes}")
    endif()

    foreach(property INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES)
      get_target_property(items ${target} ${property})
      foreach(item IN LISTS items)
        if(item MATCHES "^\\$<BUILD_INTERFACE:(.+)>$")
          set(item "${CMAKE_MATCH_1}")
        endif()
        _slicery_in_tree("${item}" in_tree)
        if(in_tree AND NOT item MATCHES "\\$<")
          list(APPEND include_dirs "${item}")
        endif()
      endforeach()
    endforeach()

    string(APPEND text "set(ARROWS_KIND_${target} ${kind})\n"
                       "set(ARROWS_SOURCES_${target} \"${files}\")\n"
                       "set(ARROWS_LINKS_${target} \"${links}\")\n"
                       "set(ARROWS_PASSES_${target} \"${passes}\")\n")
  endforeach()
  list(REMOVE_DUPLICATES scan_dirs)
  list(REMOVE_DUPLICATES include_dirs)
  string(APPEND text "set(ARROWS_SCAN_DIRS \"${scan_dirs}\")\n"
                     "set(ARROWS_INCLUDE_DIRS \"${include_dirs}\")\n")
  # Written only when it changes.
  file(CONFIGURE OUTPUT "${graph}" CONTENT "${text}" @ONLY)

  add_test(NAME include_arrows
    COMMAND ${CMAKE_COMMAND} -DGRAPH=${graph}
            -P ${PROJECT_SOURCE_DIR}/cmake/check-include-arrows.cmake)
endfunction()
