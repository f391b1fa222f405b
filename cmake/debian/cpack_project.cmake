# SPDX-License-Identifier: Apache-2.0
# Read by cpack before it makes the packages (CPACK_PROJECT_CONFIG_FILE, set by
# cmake/packaging.cmake): the shared library's package depends on what dpkg-shlibdeps finds the
# library needs, and on CPACK_KELVANE_RUNTIME_DEPENDS.
#
# CPack runs dpkg-shlibdeps itself only together with maintainer scripts that call ldconfig for
# any package holding a shared library; libkelvane1 has an ldconfig trigger instead, so its
# dependencies are computed here, on the built library (the same NEEDED entries as the packaged,
# stripped copy). The library is read in its package tree in the build folder (beside its
# DEBIAN/shlibs), where dpkg-shlibdeps expects the binaries of a package being built.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

find_program(KELVANE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT KELVANE_DPKG_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps is missing (Debian: dpkg-dev)")
endif()
if(NOT EXISTS "${CPACK_KELVANE_SHARED_LIBRARY}")
  message(FATAL_ERROR "${CPACK_KELVANE_SHARED_LIBRARY} does not exist: build before packaging")
endif()

# dpkg-shlibdeps wants a debian/control in its working folder, even an empty one.
set(work "${CPACK_KELVANE_WORK_DIR}")
file(REMOVE_RECURSE "${work}")
file(WRITE "${work}/debian/control" "")
execute_process(COMMAND "${KELVANE_DPKG_SHLIBDEPS}" -O "${CPACK_KELVANE_SHARED_LIBRARY}"
                WORKING_DIRECTORY "${work}"
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${work}")
if(NOT status EQUAL 0 OR NOT output MATCHES "^shlibs:Depends=(.+)$")
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${CPACK_KELVANE_SHARED_LIBRARY}:\n${errors}")
endif()
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${CMAKE_MATCH_1}, ${CPACK_KELVANE_RUNTIME_DEPENDS}")
