# SPDX-License-Identifier: Apache-2.0
# The library's rooms: one CMake target per folder of kelvane/ (kelvane_<room>, with "/" as "_":
# kelvane_text, kelvane_platform_core, ...), joined into the shared and the static library.
#
#   kelvane_room(<room> [DIR <folder>] [FILES <file>...] [GENERATED <file>...]
#                [DEPENDS <room>...] [ENGINES <module>...])
#
# A room holds the headers and sources of its folder (kelvane/<room> unless DIR says otherwise)
# and of the folder's internal/ subfolder, tests excepted; FILES names them instead, and
# GENERATED names headers made in the build folder (as included: kelvane/<name>); a room of
# GENERATED headers alone (the forwarding headers) takes no folder. DEPENDS
# names the rooms whose headers the room's files may include: only those, directly (a header
# that a dependency includes in turn does not count). Every room but `base` depends on `base`
# (export.h and the version) without saying so. ENGINES names the pkg-config modules of
# cmake/engines.txt the room calls, linked PRIVATE. A room with sources is an OBJECT library,
# one of headers only an INTERFACE library.
#
# kelvane_rooms_done(<file>) writes the declared rooms, their dependencies and their files to
# <file> for scripts/layer-check.sh (CTest's layer_check), checks there at once that the rooms
# form no cycle, and sets KELVANE_ROOM_OBJECTS to the objects of every room.

set(KELVANE_ROOMS)
set(KELVANE_ROOMS_LINES)
set(KELVANE_ENGINES_USED)

# Every engine module of cmake/engines.txt as a target of its own, PkgConfig::kelvane_engine_<id>.
foreach(module ${KELVANE_ENGINE_MODULES})
  string(MAKE_C_IDENTIFIER "${module}" id)
  pkg_check_modules(kelvane_engine_${id} REQUIRED QUIET IMPORTED_TARGET ${module})
endforeach()

function(kelvane_room room)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DIR" "FILES;GENERATED;DEPENDS;ENGINES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kelvane_room(${room}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(room IN_LIST KELVANE_ROOMS)
    message(FATAL_ERROR "kelvane_room(${room}): declared twice")
  endif()
  string(REPLACE "/" "_" target "kelvane_${room}")

  if(arg_FILES)
    set(files ${arg_FILES})
  elseif(arg_GENERATED AND NOT arg_DIR)
    set(files)
  else()
    if(NOT arg_DIR)
      set(arg_DIR kelvane/${room})
    endif()
    set(patterns)
    foreach(folder ${arg_DIR} ${arg_DIR}/internal)
      list(APPEND patterns ${folder}/*.h ${folder}/*.cc ${folder}/*.inc)
    endforeach()
    file(GLOB files CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${patterns})
    list(FILTER files EXCLUDE REGEX "_test\\.cc$")
  endif()
  if(NOT files AND NOT arg_GENERATED)
    message(FATAL_ERROR "kelvane_room(${room}): no files")
  endif()
  list(SORT files)
  list(TRANSFORM files PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE paths)
  list(TRANSFORM arg_GENERATED PREPEND ${KELVANE_GENERATED_DIR}/ OUTPUT_VARIABLE generated_paths)
  list(APPEND paths ${generated_paths})

  set(sources ${files})
  list(FILTER sources INCLUDE REGEX "\\.cc$")
  if(sources)
    add_library(${target} OBJECT ${paths})
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON
                          CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_compile_definitions(${target} PRIVATE KELVANE_BUILDING_LIBRARY)
    target_link_libraries(${target} PRIVATE kelvane_flags)
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE ${paths})
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR}
                             ${PROJECT_SOURCE_DIR}/include ${KELVANE_GENERATED_DIR})

  set(lines "room ${room} ${target}")
  set(depends ${arg_DEPENDS})
  if(NOT room STREQUAL "base")
    list(PREPEND depends base)
  endif()
  foreach(dependency ${depends})
    string(REPLACE "/" "_" dependency_target "kelvane_${dependency}")
    target_link_libraries(${target} ${scope} ${dependency_target})
    list(APPEND lines "depends ${room} ${dependency}")
  endforeach()

  foreach(module ${arg_ENGINES})
    if(NOT module IN_LIST KELVANE_ENGINE_MODULES)
      message(FATAL_ERROR "kelvane_room(${room}): engine ${module} is not in cmake/engines.txt")
    endif()
    string(MAKE_C_IDENTIFIER "${module}" id)
    if(scope STREQUAL "PUBLIC")
      target_link_libraries(${target} PRIVATE PkgConfig::kelvane_engine_${id})
    else()
      target_link_libraries(${target} INTERFACE PkgConfig::kelvane_engine_${id})
    endif()
  endforeach()
  set(engines_used ${KELVANE_ENGINES_USED} ${arg_ENGINES})

  foreach(file ${files})
    list(APPEND lines "file ${room} ${file}")
  endforeach()
  foreach(file ${arg_GENERATED})
    list(APPEND lines "generated ${room} ${file}")
  endforeach()
  set(KELVANE_ROOMS ${KELVANE_ROOMS} ${room} PARENT_SCOPE)
  set(KELVANE_ROOMS_LINES ${KELVANE_ROOMS_LINES} ${lines} PARENT_SCOPE)
  set(KELVANE_ENGINES_USED ${engines_used} PARENT_SCOPE)
endfunction()

function(kelvane_rooms_done file)
  foreach(module ${KELVANE_ENGINE_MODULES})
    if(NOT module IN_LIST KELVANE_ENGINES_USED)
      message(FATAL_ERROR "engine ${module} of cmake/engines.txt is used by no room")
    endif()
  endforeach()
  foreach(line ${KELVANE_ROOMS_LINES})
    if(line MATCHES "^depends [^ ]+ ([^ ]+)$" AND NOT CMAKE_MATCH_1 IN_LIST KELVANE_ROOMS)
      message(FATAL_ERROR "${line}: no room ${CMAKE_MATCH_1} is declared")
    endif()
  endforeach()
  # The objects in the order of their sources' paths, whatever the order of the rooms: the link,
  # and with it the debug information that the ABI check reads, stays as it was before the
  # library was split into rooms.
  set(keys)
  foreach(room ${KELVANE_ROOMS})
    string(REPLACE "/" "_" target "kelvane_${room}")
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "OBJECT_LIBRARY")
      get_target_property(sources ${target} SOURCES)
      list(FILTER sources INCLUDE REGEX "\\.cc$")
      list(GET sources 0 first)
      list(APPEND keys "${first}|${target}")
    endif()
  endforeach()
  list(SORT keys)
  set(objects)
  foreach(key ${keys})
    string(REGEX REPLACE "^.*\\|" "" target "${key}")
    list(APPEND objects $<TARGET_OBJECTS:${target}>)
  endforeach()
  string(JOIN "\n" content
         "# The library's rooms as CMakeLists.txt declares them (cmake/rooms.cmake), for"
         "# scripts/layer-check.sh: room NAME TARGET, depends NAME ROOM, file NAME PATH (in the"
         "# source tree), generated NAME PATH (in the build folder)."
         ${KELVANE_ROOMS_LINES} "")
  file(CONFIGURE OUTPUT ${file} CONTENT "${content}" @ONLY)
  # A cycle would otherwise surface only as CMake's own complaint about the targets.
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/layer-check.sh --graph-only ${file}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the rooms declared in CMakeLists.txt do not form layers (see above)")
  endif()
  set(KELVANE_ROOM_OBJECTS ${objects} PARENT_SCOPE)
endfunction()
