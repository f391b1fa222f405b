# SPDX-License-Identifier: Apache-2.0
# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS, set by
# cmake/packaging.cmake): adds the Multi-Arch field, which CPack's DEB generator cannot write,
# to each package named in CPACK_KELVANE_MULTIARCH (PACKAGE=same|foreign|allowed). The package
# is unpacked and built again by dpkg-deb, owner root, its files and control files unchanged.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

find_program(KELVANE_DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  execute_process(COMMAND "${KELVANE_DPKG_DEB}" --field "${deb}" Package
                  OUTPUT_VARIABLE package OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot read ${deb}")
  endif()
  set(multiarch "")
  foreach(pair IN LISTS CPACK_KELVANE_MULTIARCH)
    if(pair MATCHES "^${package}=(same|foreign|allowed)$")
      set(multiarch ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(NOT multiarch)
    message(FATAL_ERROR "CPACK_KELVANE_MULTIARCH names no Multi-Arch value for ${package}")
  endif()

  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND "${KELVANE_DPKG_DEB}" --raw-extract "${deb}" "${tree}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot unpack ${deb}")
  endif()
  file(READ "${tree}/DEBIAN/control" control)
  if(control MATCHES "\nMulti-Arch:")
    message(FATAL_ERROR "${deb} already has a Multi-Arch field")
  endif()
  string(REGEX REPLACE "(^|\n)(Architecture: [^\n]*\n)" "\\1\\2Multi-Arch: ${multiarch}\n"
         control "${control}")
  if(NOT control MATCHES "\nMulti-Arch: ${multiarch}\n")
    message(FATAL_ERROR "${deb} has no Architecture field to put Multi-Arch after")
  endif()
  file(WRITE "${tree}/DEBIAN/control" "${control}")
  execute_process(COMMAND "${KELVANE_DPKG_DEB}" --root-owner-group --build "${tree}" "${deb}"
                  OUTPUT_QUIET RESULT_VARIABLE status)
  file(REMOVE_RECURSE "${tree}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot build ${deb} again")
  endif()
endforeach()
