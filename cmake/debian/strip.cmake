# SPDX-License-Identifier: Apache-2.0
# Run by cpack on the staged files before it makes the packages (CPACK_PRE_BUILD_SCRIPTS, set by
# cmake/packaging.cmake): strips the binaries as Debian's dh_strip does, which CPack's own strip
# does not quite: the compiler's .comment and .note sections go too, and the static library loses
# its debugging sections (its symbol table stays) with deterministic member headers.
find_program(KELVANE_STRIP strip REQUIRED)
set(common --remove-section=.comment --remove-section=.note)

file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  if(file MATCHES "\\.a$")
    set(options --strip-debug ${common} --enable-deterministic-archives
                --remove-section=.gnu.lto_* --remove-section=.gnu.debuglto_*)
  else()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")  # not ELF
      continue()
    endif()
    if(file MATCHES "\\.so(\\.[0-9]+)*$")
      set(options --strip-unneeded ${common})
    else()
      set(options ${common})
    endif()
  endif()
  execute_process(COMMAND "${KELVANE_STRIP}" ${options} "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip failed on ${file}")
  endif()
endforeach()
