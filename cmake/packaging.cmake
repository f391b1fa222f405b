# SPDX-License-Identifier: Apache-2.0
# Debian packages, one per install component, made by CPack (`make package` builds them in
# build-package/ with the prefix /usr; `make test` checks them with scripts/package-check.sh):
#   libkelvane1     the shared library (component runtime); its dependencies are computed from
#                   the binary, and it depends on the fonts it draws with
#   libkelvane-dev  headers, the static library, the CMake and pkg-config files (component
#                   development); it depends on libkelvane1 of the same version and on the
#                   engines' development packages, which the static library needs
#   kelvane-tools   the kelvane tool (component tools), with the fonts it draws with
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "Kelvane developers")
set(CPACK_PACKAGE_CONTACT "Kelvane developers <kelvane-dev@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "General utility library of a trading client")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
if(KELVANE_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()

set(KELVANE_DEB_RELEASE 1)
set(KELVANE_DEB_VERSION ${PROJECT_VERSION}-${KELVANE_DEB_RELEASE})
set(KELVANE_DEB_FONTS "fonts-dejavu-core, fonts-wqy-microhei, fonts-noto-color-emoji")
string(JOIN ", " KELVANE_DEB_ENGINE_DEV ${KELVANE_ENGINE_DEB_PACKAGES})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KELVANE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# A shlibs file for the shared library, so that programs packaged against it depend on it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkelvane${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${KELVANE_DEB_FONTS}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "shared-mime-info")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "General utility library of a trading client\n Records, UTF-16 text, hashing, URLs, locale facts, time, dispatch queues, colours,\n images, fonts, a secure store and file types, for C++20 applications.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkelvane-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libkelvane${PROJECT_VERSION_MAJOR} (= ${KELVANE_DEB_VERSION}), ${KELVANE_DEB_ENGINE_DEV}")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "General utility library of a trading client: development files\n Headers, the static library, and the CMake and pkg-config files.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kelvane-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${KELVANE_DEB_FONTS}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "shared-mime-info")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "General utility library of a trading client: the kelvane tool\n Each capability of the library from the shell, and a demo of them all.")

include(CPack)
