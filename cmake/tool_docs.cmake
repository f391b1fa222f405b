# SPDX-License-Identifier: Apache-2.0
# The kelvane tool's man page and bash completion, made by the tool itself from the options it
# parses, each time it is linked: kelvane(1) gzip-compressed as Debian wants it (-9n: no name and
# no time stamp, so the same tool gives the same bytes; SOURCE_DATE_EPOCH, when set, dates the
# page), and the completion script. Both lie in the build folder where they are installed below
# the prefix (share/man/man1, share/bash-completion/completions), which is where the tool's test
# finds them, beside bin/kelvane.
find_program(KELVANE_GZIP gzip REQUIRED)
set(KELVANE_TOOL_SHARE_DIR ${PROJECT_BINARY_DIR}/share)
set(KELVANE_MAN_PAGE ${KELVANE_TOOL_SHARE_DIR}/man/man1/kelvane.1)
set(KELVANE_BASH_COMPLETION ${KELVANE_TOOL_SHARE_DIR}/bash-completion/completions/kelvane)
# The target's name as the command: CMake runs it through the cross-compiling emulator if any.
add_custom_command(TARGET kelvane_cli POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVANE_TOOL_SHARE_DIR}/man/man1
          ${KELVANE_TOOL_SHARE_DIR}/bash-completion/completions
  COMMAND kelvane_cli --write-man-page ${KELVANE_MAN_PAGE}
          --write-bash-completion ${KELVANE_BASH_COMPLETION}
  COMMAND ${KELVANE_GZIP} -9nf ${KELVANE_MAN_PAGE}
  COMMENT "Writing kelvane(1) and the kelvane bash completion"
  VERBATIM)
if(KELVANE_INSTALL)
  install(FILES ${KELVANE_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  install(FILES ${KELVANE_BASH_COMPLETION}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT tools)
endif()
