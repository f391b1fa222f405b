# SPDX-License-Identifier: Apache-2.0
# Writes the two changelogs every package carries, from the project's CHANGELOG.md:
#   changelog.gz         the upstream changelog, as written
#   changelog.Debian.gz  one entry per released version up to VERSION, newest first, each
#                        pointing at the upstream changelog and signed by MAINTAINER on the
#                        version's date. CHANGELOG.md gives days only; Debian wants each entry
#                        later than the one below it, so the newest of a day is signed at noon
#                        UTC and each older one of that day a minute before the next.
# Both compressed with gzip -9n, so that the same input gives the same bytes on every machine
# (a Multi-Arch: same package must hold identical files on every architecture).
#
#   cmake -DCHANGELOG=CHANGELOG.md -DVERSION=1.3.0 -DDEBIAN_REVISION=1 -DSOURCE=kelvane
#         -DMAINTAINER="Name <address>" -DOUTPUT_DIR=dir -P changelog.cmake
#
# A version heading is `## [X.Y.Z] - YYYY-MM-DD` (Keep a Changelog); `## [Unreleased]` and versions
# above VERSION (written down before the release is made) are left out. Fails when VERSION has no
# heading, when a date is not a calendar date or when versions or dates do not run newest first.
cmake_minimum_required(VERSION 3.20)

foreach(var CHANGELOG VERSION DEBIAN_REVISION SOURCE MAINTAINER OUTPUT_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "changelog.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${CHANGELOG}")
  message(FATAL_ERROR "changelog.cmake: ${CHANGELOG} does not exist")
endif()

file(STRINGS "${CHANGELOG}" headings REGEX "^## \\[")
set(entries "")
set(previous "")
set(found_current FALSE)
set(previous_date "")
set(minutes 0)
foreach(heading IN LISTS headings)
  if(heading MATCHES "^## \\[Unreleased\\]")
    continue()
  endif()
  if(NOT heading MATCHES "^## \\[([0-9]+\\.[0-9]+\\.[0-9]+)\\] - ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
    message(FATAL_ERROR "changelog.cmake: ${CHANGELOG}: a version heading reads `${heading}`, "
                        "not `## [X.Y.Z] - YYYY-MM-DD`")
  endif()
  set(version ${CMAKE_MATCH_1})
  set(date ${CMAKE_MATCH_2})
  if(previous AND NOT version VERSION_LESS previous)
    message(FATAL_ERROR "changelog.cmake: ${CHANGELOG}: ${version} follows ${previous}; "
                        "versions must run newest first")
  endif()
  set(previous ${version})
  if(version VERSION_GREATER VERSION)
    continue()
  endif()
  if(version VERSION_EQUAL VERSION)
    set(found_current TRUE)
  endif()
  if(previous_date AND date STRGREATER previous_date)
    message(FATAL_ERROR "changelog.cmake: ${CHANGELOG}: ${version} is dated ${date}, after the "
                        "newer version above it (${previous_date})")
  endif()
  if(date STREQUAL previous_date)
    math(EXPR minutes "${minutes} + 1")
  else()
    set(minutes 0)
  endif()
  if(minutes GREATER 719)
    message(FATAL_ERROR "changelog.cmake: ${CHANGELOG}: more than 720 versions on ${date}")
  endif()
  set(previous_date ${date})
  # The signature's date in RFC 2822 form; `date` also refuses a day that does not exist.
  execute_process(COMMAND date -u -R -d "${date} 12:00:00 UTC - ${minutes} minutes"
                  OUTPUT_VARIABLE stamp OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "changelog.cmake: ${CHANGELOG}: ${version} is dated ${date}, "
                        "which is not a calendar date")
  endif()
  list(APPEND entries "${version}|${stamp}")
endforeach()
if(NOT found_current)
  message(FATAL_ERROR "changelog.cmake: ${CHANGELOG} has no `## [${VERSION}] - YYYY-MM-DD` "
                      "section, so the packages of ${VERSION} would carry no entry for it")
endif()

# The oldest entry is the first package; every later one a new upstream release.
list(LENGTH entries count)
math(EXPR last "${count} - 1")
set(text "")
set(index 0)
foreach(entry IN LISTS entries)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 version)
  list(GET fields 1 stamp)
  if(index EQUAL last)
    set(line "Initial release ${version}. Its contents are listed in changelog.gz.")
  else()
    set(line "New upstream release ${version}. Its changes are listed in changelog.gz.")
  endif()
  string(APPEND text "${SOURCE} (${version}-${DEBIAN_REVISION}) unstable; urgency=medium\n\n"
                     "  * ${line}\n\n -- ${MAINTAINER}  ${stamp}\n\n")
  math(EXPR index "${index} + 1")
endforeach()
string(REGEX REPLACE "\n\n$" "\n" text "${text}")

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(WRITE "${OUTPUT_DIR}/changelog.Debian" "${text}")
foreach(pair "changelog.Debian|${OUTPUT_DIR}/changelog.Debian" "changelog|${CHANGELOG}")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 input)
  execute_process(COMMAND gzip -9nc "${input}" OUTPUT_FILE "${OUTPUT_DIR}/${name}.gz.new"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "changelog.cmake: gzip failed on ${input}")
  endif()
  file(RENAME "${OUTPUT_DIR}/${name}.gz.new" "${OUTPUT_DIR}/${name}.gz")
endforeach()
file(REMOVE "${OUTPUT_DIR}/changelog.Debian")
