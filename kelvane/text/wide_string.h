// kelvane/text/wide_string.h
//
// Comparison and search of WString buffers (zero-terminated UTF-16 units, see
// kelvane/platform/string.h), and the bridge between them and String.
//
// Threads: every function runs on the caller's thread and shares no state.
#pragma once

#include "kelvane/export.h"
#include "kelvane/platform/string.h"

namespace kelvane::NSTools {

// Unit-wise comparison of two WStrings: -1, 0 or 1.
// count 0 compares the whole strings, the shorter of a prefix pair being the lesser. A non-zero
// count compares exactly `count` units of each, zero units included.
// Units compare as unsigned 16-bit numbers, so surrogates order below U+E000..U+FFFF.
// 0 when either pointer is null.
// REQUIRES: with a non-zero count, both buffers hold `count` units.
[[nodiscard]] KELVANE_EXPORT int Compare(const unsigned short* a, const unsigned short* b,
                                         unsigned int count) noexcept;

}  // namespace kelvane::NSTools
