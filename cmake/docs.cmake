# SPDX-License-Identifier: Apache-2.0
# The reference manual and the checks of what a user meets first in the headers.
#
#   docs        target (only when Doxygen 1.9.4 or later and Python 3 are found): the HTML manual
#               in build/docs/html, made from the installed headers as they are written
#               (docs/Doxyfile.in, docs/doc_filter.py); it fails on any warning.
#   docs_check  test: the same, as part of make test.
#   docs_tour_check  test: the code of the main page (docs/mainpage.md) compiles against the
#               headers (docs/check-tour.sh).
#   doc_filter_test  test: the filter's rules (docs/doc_filter_test.py).
#   cxx_standard_check  test: kelvane/kelvane.h compiled as C++17 stops at the library's own
#               message naming -std=c++20 (scripts/cxx-standard-check.sh).
#   install     component `doc`: the HTML under share/doc/libkelvane-doc/html, when it was made.

find_package(Doxygen 1.9.4 QUIET)
find_package(Python3 COMPONENTS Interpreter QUIET)
set(KELVANE_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)

if(DOXYGEN_FOUND AND Python3_Interpreter_FOUND)
  # The installed headers: kelvane/ without its internal/ folders and testing/, the umbrella
  # header and the generated version macros. The headers that only forward to a header's new
  # place are left out: the ones directly in kelvane/platform/, those named below, and any other
  # whose opening block says it moved (as every forwarding header's does).
  set(docs_input ${PROJECT_SOURCE_DIR}/docs/mainpage.md ${PROJECT_SOURCE_DIR}/docs/namespaces.dox
      ${PROJECT_SOURCE_DIR}/kelvane ${PROJECT_SOURCE_DIR}/include/kelvane/kelvane.h
      ${KELVANE_GENERATED_DIR}/kelvane/version_macros.h)
  list(TRANSFORM docs_input PREPEND "\"")
  list(TRANSFORM docs_input APPEND "\"")
  string(JOIN " " KELVANE_DOCS_INPUT ${docs_input})
  file(GLOB docs_forwarding CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kelvane/platform/*.h)
  foreach(header codecs/image_file.h graphics/geometry.h graphics/raster.h)
    if(EXISTS ${PROJECT_SOURCE_DIR}/kelvane/platform/${header})
      list(APPEND docs_forwarding ${PROJECT_SOURCE_DIR}/kelvane/platform/${header})
    endif()
  endforeach()
  file(GLOB_RECURSE docs_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kelvane/*.h)
  foreach(header ${docs_headers})
    file(STRINGS ${header} moved LIMIT_COUNT 8 REGEX "^// Deprecated: moved to ")
    if(moved)
      list(APPEND docs_forwarding ${header})
    endif()
  endforeach()
  foreach(header ${KELVANE_FORWARDING_HEADERS})
    if(IS_ABSOLUTE ${header})
      list(APPEND docs_forwarding ${header})
    else()
      list(APPEND docs_forwarding ${PROJECT_SOURCE_DIR}/${header})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES docs_forwarding)
  list(APPEND docs_forwarding ${PROJECT_SOURCE_DIR}/kelvane/testing)
  list(TRANSFORM docs_forwarding PREPEND "\"")
  list(TRANSFORM docs_forwarding APPEND "\"")
  string(JOIN " " KELVANE_DOCS_EXCLUDE ${docs_forwarding})
  set(KELVANE_DOCS_FILTER "${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/docs/doc_filter.py")
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${KELVANE_DOCS_DIR}/Doxyfile @ONLY)

  set(KELVANE_DOCS_COMMAND ${PROJECT_SOURCE_DIR}/docs/run-doxygen.sh ${DOXYGEN_EXECUTABLE}
                           ${KELVANE_DOCS_DIR}/Doxyfile ${KELVANE_DOCS_DIR})
  add_custom_target(docs COMMAND ${KELVANE_DOCS_COMMAND}
                    COMMENT "Making the reference manual in ${KELVANE_DOCS_DIR}/html" VERBATIM)
  if(KELVANE_BUILD_TESTS)
    add_test(NAME docs_check COMMAND ${KELVANE_DOCS_COMMAND})
    set_tests_properties(docs_check PROPERTIES TIMEOUT 900)
  endif()
else()
  message(STATUS "Doxygen 1.9.4 or later and Python 3 not both found: no docs target")
endif()

if(KELVANE_BUILD_TESTS AND Python3_Interpreter_FOUND)
  # The rules by which the filter hands the headers' comments to Doxygen.
  add_test(NAME doc_filter_test
           COMMAND ${Python3_EXECUTABLE} -B ${PROJECT_SOURCE_DIR}/docs/doc_filter_test.py)
endif()

if(KELVANE_BUILD_TESTS)
  # The main page's code compiles against the headers.
  add_test(NAME docs_tour_check
           COMMAND ${PROJECT_SOURCE_DIR}/docs/check-tour.sh ${CMAKE_CXX_COMPILER}
                   ${PROJECT_SOURCE_DIR} ${KELVANE_GENERATED_DIR})
  set_tests_properties(docs_tour_check PROPERTIES TIMEOUT 300)
  add_test(NAME cxx_standard_check
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/cxx-standard-check.sh ${CMAKE_CXX_COMPILER}
                   ${PROJECT_SOURCE_DIR} ${KELVANE_GENERATED_DIR})
  set_tests_properties(cxx_standard_check PROPERTIES TIMEOUT 300)
endif()

# Doxygen's jquery.js stays as Doxygen wrote it: it bundles jQuery with the jQuery UI and
# SmartMenus code that the menus (menu.js) and the resizable index panel (resize.js) call, which
# the plain jQuery of libjs-jquery lacks, so a symbolic link to that would break both and the
# search box. Lintian does not flag a jquery.js beside doxygen.css (Debian bug #736360). The
# *.md5 and *.map files only speed up Doxygen's next run (dh_doxygen drops them too).
if(KELVANE_INSTALL)
  install(DIRECTORY ${KELVANE_DOCS_DIR}/html/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libkelvane-doc/html COMPONENT doc OPTIONAL
          PATTERN "*.md5" EXCLUDE PATTERN "*.map" EXCLUDE)
endif()
