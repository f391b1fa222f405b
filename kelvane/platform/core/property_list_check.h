// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/property_list_check.h
//
// A bounded structural check of binary property lists ("bplist00"), made before the bytes reach
// libplist. That reader cannot be bounded from the outside: it recurses once per level of
// nesting, so a chain of arrays thousands deep overflows the stack, and it copies an object once
// for every reference to it, so a few hundred bytes of references that share references can
// expand to gigabytes. The check reads the trailer, the offset table and the header of every
// object reachable from the root, walks the references with an explicit stack, refuses cycles,
// and sums, memoised per object, what the reader's tree would weigh with every shared reference
// expanded. Its own time and memory are in proportion to the input; nothing in it recurses.
//
// What passes is what the writers of the phone and of libplist produce: objects after the
// header, offsets, references and UIDs of 1 to 8 bytes, booleans, integers of up to 16 bytes,
// reals of 4 or 8, dates, data, ASCII and UTF-16 strings, UIDs below 2^32, arrays, sets, and
// dictionaries whose keys are strings. Null and fill objects, unknown markers, empty UTF-16
// strings (which libplist cannot read; writers make the empty string ASCII), text holding a
// zero character (libplist stops the process on a key that does), lengths or
// references that point past the objects and keys of other kinds are refused as malformed.
//
// Threads: pure functions of their arguments; any thread.
#pragma once

#include <cstdint>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"

namespace kelvane::platform {

// Arrays, sets and dictionaries nested along one path that a list may have. Real lists stay far
// below it (a bundle's Info.plist nests a handful, a keyed archive four), and libplist's
// recursion at this depth is a few tens of KiB of stack.
inline constexpr int kMaxPropertyListDepth = 256;

// What the check estimates one object of libplist's tree to weigh besides its text or bytes:
// the node, its data record and the allocations' own overhead, as measured on 2.2.0.
inline constexpr std::uint64_t kPropertyListNodeBytes = 128;

// The expanded weight a list of `input_bytes` may reach: 64 times its size, plus 16 MiB so that
// small lists are never pinched. A list without shared references weighs at most about 45 times
// its size (every object costs at least a marker, an offset and a reference); keyed archives,
// whose records share their key strings, weigh 20 to 35 times theirs.
[[nodiscard]] constexpr std::uint64_t PropertyListBudget(std::uint64_t input_bytes) noexcept {
  return 64 * input_bytes + (std::uint64_t{16} << 20);
}

// The bounds a check holds a property list to.
struct PropertyListLimits {
  int max_depth = kMaxPropertyListDepth;  // nesting of arrays and dictionaries
  // 0: PropertyListBudget of the input's size.
  std::uint64_t max_expanded_bytes = 0;
};

// What a list that passed expands to.
struct PropertyListShape {
  std::uint64_t objects = 0;         // objects of the expanded tree, dictionary keys included
  std::uint64_t expanded_bytes = 0;  // their estimated weight, text and bytes included
  int depth = 0;                     // containers on the deepest path; 0 for a lone scalar
};

// Checks the binary property list in `bytes`. kMalformed for anything that is not such a list
// as described above, or that has a reference cycle; kTooLarge when it nests deeper than
// `limits.max_depth` or would expand past `limits.max_expanded_bytes`. Reads nothing outside
// `bytes`.
[[nodiscard]] KELVANE_EXPORT Result<PropertyListShape> CheckBinaryPropertyList(
    std::span<const std::uint8_t> bytes, const PropertyListLimits& limits = {}) noexcept;

}  // namespace kelvane::platform
