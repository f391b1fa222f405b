#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Holds the library's files to the rooms CMakeLists.txt declares (cmake/rooms.cmake writes them
# to kelvane_rooms.txt in the build folder). Fails, naming the file, the include and the rooms,
# when
#   - a file of a room includes a header of a room that its room does not name among its
#     dependencies (directly: a room reached through another one does not count);
#   - a file includes a kelvane/ header that belongs to no room (a test helper, the umbrella
#     header, a file that does not exist);
#   - a file under kelvane/ belongs to no room, or to two (tests and kelvane/testing/ aside:
#     they are built into the test programs, which link the whole library);
#   - a room depends on a room that is not declared, or the rooms' dependencies form a cycle.
#
#   scripts/layer-check.sh SOURCE_DIR ROOMS_FILE   the whole check (CTest runs it as layer_check)
#   scripts/layer-check.sh --graph-only ROOMS_FILE  the dependencies alone (CMake runs this)
set -euo pipefail

if [ "${1:-}" = --graph-only ] && [ $# -eq 2 ]; then
  graph_only=1
  rooms=$2
elif [ $# -eq 2 ]; then
  graph_only=0
  rooms=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
  cd "$1"
else
  echo "usage: layer-check.sh SOURCE_DIR ROOMS_FILE | --graph-only ROOMS_FILE" >&2
  exit 2
fi
[ -f "$rooms" ] || { echo "layer-check: no rooms file $rooms" >&2; exit 2; }

tree=$(mktemp "${TMPDIR:-/tmp}/kelvane-layers.XXXXXX")
trap 'rm -f "$tree"' EXIT INT TERM
if [ "$graph_only" -eq 0 ]; then
  find kelvane -type f ! -name '*_test.cc' ! -path 'kelvane/testing/*' | LC_ALL=C sort >"$tree"
fi

# The rooms file, then the list of the tree's files, then each of those files.
# shellcheck disable=SC2046  # one argument per file; the library's paths hold no spaces
awk -v rooms_file="$rooms" -v tree_file="$tree" '
function fail(message) {
  print "layer-check: " message > "/dev/stderr"
  failures++
}

# Depth first from `room`; on meeting a room that is still open, reports the cycle through it.
function visit(room,   n, next_rooms, i, dependency, j, cycle) {
  state[room] = 1
  path[++depth] = room
  n = split(dependencies[room], next_rooms, " ")
  for (i = 1; i <= n; i++) {
    dependency = next_rooms[i]
    if ((dependency in state) && state[dependency] == 1) {
      cycle = ""
      for (j = 1; j <= depth; j++) {
        if (path[j] == dependency) cycle = dependency
        else if (cycle != "") cycle = cycle " -> " path[j]
      }
      fail("the rooms form a cycle: " cycle " -> " dependency)
      return 1
    }
    if (!(dependency in state) && visit(dependency)) return 1
  }
  state[room] = 2
  depth--
  return 0
}

FILENAME == rooms_file {
  if ($1 == "room") {
    declared[$2] = 1
    order[++room_count] = $2
  } else if ($1 == "depends") {
    depends_on[$2, $3] = 1
    dependencies[$2] = dependencies[$2] " " $3
    edge_count++
    edge_from[edge_count] = $2
    edge_to[edge_count] = $3
  } else if ($1 == "file" || $1 == "generated") {
    if (($3 in owner) && owner[$3] != $2) {
      fail($3 " belongs to two rooms, " owner[$3] " and " $2)
    }
    owner[$3] = $2
  }
  next
}

FILENAME == tree_file {
  files++
  if (!($0 in owner)) {
    fail($0 " belongs to no room: declare its folder with kelvane_room() in CMakeLists.txt")
  }
  next
}

/^[ \t]*#[ \t]*include[ \t]*[<"]kelvane\// {
  header = $0
  sub(/^[ \t]*#[ \t]*include[ \t]*[<"]/, "", header)
  sub(/[">].*$/, "", header)
  room = owner[FILENAME]
  if (!(header in owner)) {
    fail(FILENAME ":" FNR ": includes " header ", which belongs to no room")
  } else if (owner[header] != room && !((room, owner[header]) in depends_on)) {
    fail(FILENAME ":" FNR ": includes " header " of room " owner[header] \
         ", but room " room " does not depend on room " owner[header])
  }
}

END {
  for (i = 1; i <= edge_count; i++) {
    if (!(edge_to[i] in declared)) {
      fail("room " edge_from[i] " depends on " edge_to[i] ", which is not a declared room")
    }
  }
  for (i = 1; i <= room_count && !cycle_found; i++) {
    if (!(order[i] in state)) cycle_found = visit(order[i])
  }
  if (failures > 0) {
    print "layer-check: " failures " problem(s); the rooms and their dependencies are declared" \
          " in CMakeLists.txt" > "/dev/stderr"
    exit 1
  }
  if (files > 0) {
    print "layer-check: " files " files in " room_count " rooms include only the rooms they" \
          " depend on; the " edge_count " dependencies form no cycle"
  }
}
' "$rooms" "$tree" $(cat "$tree")
