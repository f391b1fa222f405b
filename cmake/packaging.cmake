# SPDX-License-Identifier: Apache-2.0
# Debian packages, one per install component, made by CPack (`make package` builds them in
# build-package/ with the prefix /usr; `make test` checks them, lintian included, with
# scripts/package-check.sh):
#   libkelvane1            runtime      the shared library, its shlibs file and an ldconfig
#                                       trigger; depends on what dpkg-shlibdeps finds the library
#                                       needs, and on the fonts it draws with
#   libkelvane-dev         development  headers, the link to the shared library, the CMake and
#                                       pkg-config files; depends on libkelvane1 of its version
#                                       alone, as the installed headers include no engine's header
#   libkelvane-static-dev  static       the static library and its CMake targets; depends on the
#                                       engines' development packages, which linking it needs
#   kelvane-tools          tools        the kelvane tool, linked to the shared library
#   libkelvane-doc         doc          the HTML reference manual, made when the `docs` target
#                                       exists (doxygen found)
# Every package carries /usr/share/doc/<package>/copyright (cmake/debian/copyright, machine
# readable), changelog.Debian.gz and changelog.gz (both made from CHANGELOG.md by
# cmake/debian/changelog.cmake), and NOTICE where the source has one.

# The maintainer every package and changelog entry names. The default is a placeholder on a
# reserved domain: set the real one when publishing packages.
set(KELVANE_MAINTAINER "Kelvane developers <kelvane-dev@example.org>" CACHE STRING
    "Maintainer of the Debian packages, as \"Name <address>\"")
if(NOT KELVANE_MAINTAINER MATCHES "^[^<>@]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ .]+>$")
  message(FATAL_ERROR "KELVANE_MAINTAINER must read \"Name <user@host.domain>\", "
                      "not \"${KELVANE_MAINTAINER}\"")
endif()
if(NOT KELVANE_SHLIBS_MIN_VERSION)
  message(FATAL_ERROR "KELVANE_SHLIBS_MIN_VERSION is not set (CMakeLists.txt, beside the version)")
endif()
if(KELVANE_SHLIBS_MIN_VERSION VERSION_GREATER PROJECT_VERSION
   OR NOT KELVANE_SHLIBS_MIN_VERSION MATCHES "^${PROJECT_VERSION_MAJOR}\\.")
  message(FATAL_ERROR "KELVANE_SHLIBS_MIN_VERSION ${KELVANE_SHLIBS_MIN_VERSION} is not a "
                      "version of the ${PROJECT_VERSION_MAJOR}.x series up to ${PROJECT_VERSION}")
endif()

set(KELVANE_DEB_RELEASE 1)
set(KELVANE_DEB_VERSION ${PROJECT_VERSION}-${KELVANE_DEB_RELEASE})
set(KELVANE_DEB_RUNTIME libkelvane${PROJECT_VERSION_MAJOR})
set(KELVANE_DEB_FONTS "fonts-dejavu-core, fonts-wqy-microhei, fonts-noto-color-emoji")
set(KELVANE_DEB_DIR ${PROJECT_BINARY_DIR}/debian)
# The packages install under /usr whatever the build's prefix.
set(KELVANE_DEB_PREFIX /usr)
string(JOIN ", " KELVANE_DEB_ENGINE_DEV ${KELVANE_ENGINE_DEB_PACKAGES})

# ---- files every package carries ---------------------------------------------------------------
# component -> package, in one list so that the install rules and CPack agree.
set(KELVANE_DEB_PACKAGES runtime ${KELVANE_DEB_RUNTIME} development libkelvane-dev
                         static libkelvane-static-dev tools kelvane-tools doc libkelvane-doc)

set(KELVANE_DEB_DOC_FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright)
if(EXISTS ${PROJECT_SOURCE_DIR}/NOTICE)
  list(APPEND KELVANE_DEB_DOC_FILES ${PROJECT_SOURCE_DIR}/NOTICE)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
  set(KELVANE_DEB_CHANGELOGS ${KELVANE_DEB_DIR}/changelog.Debian.gz ${KELVANE_DEB_DIR}/changelog.gz)
  add_custom_command(
    OUTPUT ${KELVANE_DEB_CHANGELOGS}
    COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md
            -DVERSION=${PROJECT_VERSION} -DDEBIAN_REVISION=${KELVANE_DEB_RELEASE}
            -DSOURCE=${PROJECT_NAME} -DMAINTAINER=${KELVANE_MAINTAINER}
            -DOUTPUT_DIR=${KELVANE_DEB_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/debian/changelog.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/debian/changelog.cmake
    COMMENT "Debian changelogs from CHANGELOG.md" VERBATIM)
  add_custom_target(kelvane_debian_changelogs ALL DEPENDS ${KELVANE_DEB_CHANGELOGS})
  list(APPEND KELVANE_DEB_DOC_FILES ${KELVANE_DEB_CHANGELOGS})
else()
  message(WARNING "No CHANGELOG.md: the packages carry no changelog, and package_check fails")
endif()

set(KELVANE_DEB_COMPONENTS)
set(pairs ${KELVANE_DEB_PACKAGES})
while(pairs)
  list(POP_FRONT pairs component package)
  list(APPEND KELVANE_DEB_COMPONENTS ${component})
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  install(FILES ${KELVANE_DEB_DOC_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
          COMPONENT ${component})
endwhile()

# The manual registered with doc-base, so that documentation browsers list it.
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/doc-base.in ${KELVANE_DEB_DIR}/doc-base @ONLY)
install(FILES ${KELVANE_DEB_DIR}/doc-base DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base
        RENAME libkelvane-doc.kelvane-manual COMPONENT doc)

# ---- the shared library's shlibs file ----------------------------------------------------------
# A program built against this library needs at least the version that added the newest symbol
# (KELVANE_SHLIBS_MIN_VERSION), not this very version. The file also sits in a package tree of
# its own in the build folder, beside a link to the library, where dpkg-shlibdeps reads it when
# it computes the tool's dependencies: the tool depends on libkelvane1 exactly as a program
# packaged elsewhere would.
set(KELVANE_DEB_SHLIBS_ROOT ${KELVANE_DEB_DIR}/${KELVANE_DEB_RUNTIME})
file(WRITE ${KELVANE_DEB_SHLIBS_ROOT}/DEBIAN/shlibs
     "libkelvane ${PROJECT_VERSION_MAJOR} ${KELVANE_DEB_RUNTIME} (>= ${KELVANE_SHLIBS_MIN_VERSION})\n")
set(KELVANE_DEB_SHLIBS_LIBDIR ${KELVANE_DEB_SHLIBS_ROOT}${KELVANE_DEB_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set(KELVANE_DEB_SHLIBS_LIBRARY ${KELVANE_DEB_SHLIBS_LIBDIR}/libkelvane.so.${PROJECT_VERSION_MAJOR})
add_custom_target(kelvane_debian_shlibs ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVANE_DEB_SHLIBS_LIBDIR}
  COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_SONAME_FILE:kelvane> ${KELVANE_DEB_SHLIBS_LIBRARY}
  DEPENDS kelvane VERBATIM)

# ---- CPack --------------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The Kelvane developers")
set(CPACK_PACKAGE_CONTACT "${KELVANE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Stripped as dh_strip strips, by cmake/debian/strip.cmake, not by CPack's plainer strip.
set(CPACK_STRIP_FILES FALSE)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/strip.cmake)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${KELVANE_DEB_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KELVANE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${PROJECT_NAME})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# Only the tool's dependencies come from CPack's run of dpkg-shlibdeps: for a package holding a
# shared library CPack would also write maintainer scripts that call ldconfig, where a trigger
# is what Debian wants. The library's come from cmake/debian/cpack_project.cmake.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${KELVANE_DEB_SHLIBS_LIBDIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/debian/cpack_project.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/multiarch.cmake)
# Read by those two scripts.
set(CPACK_KELVANE_SHARED_LIBRARY ${KELVANE_DEB_SHLIBS_LIBRARY})
set(CPACK_KELVANE_RUNTIME_DEPENDS "${KELVANE_DEB_FONTS}")
set(CPACK_KELVANE_WORK_DIR ${KELVANE_DEB_DIR}/cpack)

# Descriptions: CPack puts the leading space on each line and a " ." on each empty one. Every
# extended description opens with the same paragraph, as Debian's library packages do.
string(JOIN "\n" KELVANE_DEB_ABOUT
       "Kelvane gives C++20 applications records, UTF-16 text, hashing, URLs,"
       "locale facts, time, dispatch queues, colours, images, fonts, a secure"
       "store and file types, each behind a small interface." "" "")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "shared-mime-info")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${KELVANE_DEB_SHLIBS_ROOT}/DEBIAN/shlibs ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "general utility library of a trading client
${KELVANE_DEB_ABOUT}This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${KELVANE_DEB_RUNTIME} (= ${KELVANE_DEB_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SUGGESTS "libkelvane-doc, libkelvane-static-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "general utility library of a trading client - development files
${KELVANE_DEB_ABOUT}This package holds the headers and the CMake and pkg-config files for
linking the shared library. The static library is in libkelvane-static-dev.")

set(CPACK_DEBIAN_STATIC_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_STATIC_PACKAGE_DEPENDS
    "libkelvane-dev (= ${KELVANE_DEB_VERSION}), ${KELVANE_DEB_ENGINE_DEV}")
set(CPACK_COMPONENT_STATIC_DESCRIPTION
    "general utility library of a trading client - static library
${KELVANE_DEB_ABOUT}This package holds the static library and its CMake targets
(find_package(kelvane COMPONENTS static)). It depends on the development
files of every library Kelvane is built on, which linking it needs.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "command-line tool of the Kelvane utility library
${KELVANE_DEB_ABOUT}This package holds the kelvane tool: each capability of the library
from the shell, and a demo of them all.")

set(CPACK_DEBIAN_DOC_PACKAGE_SECTION doc)
set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_DOC_DESCRIPTION "reference manual of the Kelvane utility library
${KELVANE_DEB_ABOUT}This package holds the reference manual in HTML, made from the
contracts in the headers.")

# Multi-Arch, which CPack cannot write: cmake/debian/multiarch.cmake adds it to each package.
set(CPACK_KELVANE_MULTIARCH ${KELVANE_DEB_RUNTIME}=same libkelvane-dev=same
                            libkelvane-static-dev=same kelvane-tools=foreign
                            libkelvane-doc=foreign)

# The manual is packaged only where it can be made; the `docs` target may be defined after this
# file is read, so the choice waits for the end of the top-level CMakeLists.txt.
function(kelvane_packages_done)
  set(CPACK_COMPONENTS_ALL runtime development static)
  if(KELVANE_BUILD_TOOLS)
    list(APPEND CPACK_COMPONENTS_ALL tools)
  endif()
  # What cpack reads beyond the installed files, and the manual, which the default build does not
  # make: `make package` and package_check build it before they run cpack.
  add_custom_target(kelvane_package_files)
  add_dependencies(kelvane_package_files kelvane_debian_shlibs)
  if(TARGET kelvane_debian_changelogs)
    add_dependencies(kelvane_package_files kelvane_debian_changelogs)
  endif()
  if(TARGET docs)
    list(APPEND CPACK_COMPONENTS_ALL doc)
    add_dependencies(kelvane_package_files docs)
  endif()
  include(CPack)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL kelvane_packages_done)
