// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/archive/internal/binary_plist_writer.h
//
// Writes a libplist tree as a binary property list ("bplist00") in time and memory in proportion
// to the tree. The engine's own writer looks every object up in a table of a few thousand
// buckets, so an archive of a hundred thousand objects took seconds to write, and the time grew
// with the square of the count. Equal scalars (strings, keys, numbers, UIDs, data) are written
// once and shared, as the engine does; containers are written as they are. The tree is walked
// without recursion, so its depth costs no stack. Not installed.
#pragma once

#include <plist/plist.h>

#include <optional>

#include "kelvane/platform/core/string.h"

namespace kelvane::platform::internal {

// The bytes of `root` as a binary property list; nullopt when the tree holds what this writer
// does not carry (a string that is not strict UTF-8, a UID past 32 bits, a date: archives keep
// time as a real number) or memory runs out.
[[nodiscard]] std::optional<Data> WriteBinaryPropertyList(plist_t root) noexcept;

}  // namespace kelvane::platform::internal
