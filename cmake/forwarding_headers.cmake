# SPDX-License-Identifier: Apache-2.0
# The headers kept at the paths of an earlier layout, made from cmake/forwarding_headers.txt.
#
#   kelvane_forwarding_headers(<list file> <output folder>)
#
# Writes one forwarding header for each line of the list (old path, new path) under the output
# folder, at its old path, and removes headers an earlier run made for lines since taken out.
# Sets, in the caller's scope:
#   KELVANE_FORWARDING_HEADERS        the old paths (kelvane/...), as the forwarding room's files
#   KELVANE_FORWARDING_TARGET_ROOMS   the rooms that hold the new paths, which that room depends on
# A line whose old path is still a header in the source tree, whose new path is not one, or that
# repeats an old path stops the configuration: the two headers would shadow each other.

function(kelvane_forwarding_headers list_file output_dir)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  file(STRINGS ${list_file} lines REGEX "^[^#]")
  set(old_paths)
  set(rooms)
  foreach(line ${lines})
    string(REGEX MATCHALL "[^ \t]+" fields "${line}")
    list(LENGTH fields count)
    if(NOT count EQUAL 2)
      message(FATAL_ERROR "${list_file}: '${line}' is not an old path and a new path")
    endif()
    list(GET fields 0 old)
    list(GET fields 1 new)
    if(old IN_LIST old_paths)
      message(FATAL_ERROR "${list_file}: ${old} is listed twice")
    endif()
    if(EXISTS ${PROJECT_SOURCE_DIR}/${old})
      message(FATAL_ERROR "${list_file}: ${old} is a header of the source tree, not an old path")
    endif()
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${new})
      message(FATAL_ERROR "${list_file}: ${new}, where ${old} forwards to, does not exist")
    endif()
    if(NOT new MATCHES "^kelvane/(.+)/[^/]+\\.h$")
      message(FATAL_ERROR "${list_file}: ${new} is not a header of a room")
    endif()
    list(APPEND rooms ${CMAKE_MATCH_1})

    # Headers of the same name elsewhere mean something else; the note says so, as a reader who
    # opened the wrong one is looking for the others.
    get_filename_component(name ${old} NAME)
    file(GLOB_RECURSE namesakes RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/kelvane/${name})
    list(REMOVE_ITEM namesakes ${new})
    set(KELVANE_FORWARD_SAME_NAME "")
    list(LENGTH namesakes namesake_count)
    if(namesake_count EQUAL 1)
      set(KELVANE_FORWARD_SAME_NAME
          "\n//\n// Another header of this name, about something else: ${namesakes}.")
    elseif(namesake_count GREATER 1)
      list(SORT namesakes)
      string(JOIN ", " others ${namesakes})
      set(KELVANE_FORWARD_SAME_NAME
          "\n//\n// Other headers of this name, about other things: ${others}.")
    endif()
    set(KELVANE_FORWARD_OLD ${old})
    set(KELVANE_FORWARD_NEW ${new})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/forwarding_header.h.in ${output_dir}/${old} @ONLY)
    list(APPEND old_paths ${old})
  endforeach()

  # A line taken out of the list leaves no header behind in a build folder that had it.
  file(GLOB_RECURSE made RELATIVE ${output_dir} ${output_dir}/kelvane/*.h)
  foreach(file ${made})
    file(STRINGS ${output_dir}/${file} mark LIMIT_COUNT 2 REGEX "cmake/forwarding_headers\\.txt")
    if(mark AND NOT file IN_LIST old_paths)
      file(REMOVE ${output_dir}/${file})
    endif()
  endforeach()

  list(REMOVE_DUPLICATES rooms)
  set(KELVANE_FORWARDING_HEADERS ${old_paths} PARENT_SCOPE)
  set(KELVANE_FORWARDING_TARGET_ROOMS ${rooms} PARENT_SCOPE)
endfunction()
