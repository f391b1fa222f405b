// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/unicode.h
//
// The Unicode work of the text operations, on ICU: case-insensitive comparison and search with
// full case folding, the default ordering of strings, and conversions between UTF-16, UTF-32
// and UTF-8 that reject ill-formed text instead of patching it.
//
// WString units are read as kelvane/platform/core/string.h says: single units through AliasedWChar,
// runs as bytes.
//
// Threads: every function is reentrant and keeps no state; all may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// Units before the terminator of a WString that may alias char16_t storage; 0 for null.
[[nodiscard]] KELVANE_EXPORT std::size_t AliasedWStringLength(const WChar* s) noexcept;

// Copies the units of a WString (up to its terminator) into `out`, replacing its contents.
// `out` keeps its capacity, so a reused string stops allocating once it is large enough.
// False when memory ran out (`out` is then empty). A null pointer gives the empty string.
// `s` may point into `out` itself (its UTF16String buffer or a tail of it).
[[nodiscard]] KELVANE_EXPORT bool AssignWString(String& out, const WChar* s) noexcept;
// Appends those units, also from `out`'s own buffer; false (and `out` unchanged) when memory ran
// out.
[[nodiscard]] KELVANE_EXPORT bool AppendWString(String& out, const WChar* s) noexcept;

// Case-insensitive comparison under full Unicode case folding ("Straße" equals "STRASSE"),
// then by UTF-16 unit order: -1, 0 or 1. Allocates nothing.
[[nodiscard]] KELVANE_EXPORT int CaseInsensitiveCompare(std::u16string_view a,
                                                        std::u16string_view b) noexcept;

// Unit index in `text` of the first occurrence of `pattern` under full case folding; a match
// begins and ends on whole characters of `text`. -1 when there is none, when `pattern` is empty,
// when an index would not fit in 32 bits, or when memory ran out.
[[nodiscard]] KELVANE_EXPORT int32_t CaseInsensitiveFind(std::u16string_view text,
                                                         std::u16string_view pattern) noexcept;

// Visits the successive occurrences of `pattern` in `text` under full case folding, in order and
// without overlap: each is what CaseInsensitiveFind finds in the text after the one before.
// `visit` receives the occurrence's unit index and its length in units of `text` (which folding
// may make differ from the pattern's: "ß" matches "ss" in one unit) and returns false to stop.
// The text is folded once, so a search takes time linear in both lengths however many
// occurrences there are. False when memory ran out or the text has 2^32 units or more
// (occurrences already visited stay visited).
// REQUIRES: `visit` does not throw.
KELVANE_EXPORT bool CaseInsensitiveFindEach(
    std::u16string_view text, std::u16string_view pattern,
    const std::function<bool(std::size_t location, std::size_t length)>& visit) noexcept;

// The default ordering of strings: by Unicode code point (so characters outside the Basic
// Multilingual Plane sort after U+E000..U+FFFF, unlike a unit order). -1, 0 or 1.
[[nodiscard]] KELVANE_EXPORT int DefaultCompare(std::u16string_view a,
                                                std::u16string_view b) noexcept;

// Number of Unicode scalar values of UTF-16 text; -1 when it holds an unpaired surrogate.
[[nodiscard]] KELVANE_EXPORT int64_t CountScalars(std::u16string_view text) noexcept;

// UTF-16 -> UTF-32: `out` receives the scalar values followed by a zero unit (its size is the
// number of scalars + 1). False, with `out` unspecified, for an unpaired surrogate or when memory
// ran out. `out` keeps its capacity across calls.
[[nodiscard]] KELVANE_EXPORT bool Utf16ToUtf32(std::u16string_view text,
                                               std::vector<LWChar>& out) noexcept;

// UTF-32 -> UTF-16: decodes `count` units read as 32-bit little-endian values into `out`
// (replacing its contents). False, with `out` unspecified, when a unit is negative, a surrogate
// (U+D800..U+DFFF) or above U+10FFFF, or when memory ran out. U+0000 is a scalar like any other.
// REQUIRES: `units` addresses `count` readable units (it may be null when count is 0).
[[nodiscard]] KELVANE_EXPORT bool Utf32LEToUtf16(const LWChar* units, std::size_t count,
                                                 String& out) noexcept;

// UTF-16 -> UTF-8 into `out` (replacing its contents). False for an unpaired surrogate or when
// memory ran out.
[[nodiscard]] KELVANE_EXPORT bool Utf16ToUtf8(std::u16string_view text, std::string& out) noexcept;

// UTF-8 -> UTF-16 into `out` (replacing its contents); the library's one UTF-8 decoder, which
// kelvane/text/utf8.h offers to users. False for malformed input (a bad or cut
// sequence, an overlong form, a surrogate, a value past U+10FFFF) or when memory ran out.
[[nodiscard]] KELVANE_EXPORT bool Utf8ToUtf16(std::string_view bytes, String& out) noexcept;

// The same decoder for text that must be shown whatever its bytes (facts read from the system):
// each byte that does not begin a well-formed sequence becomes one U+FFFD, and decoding goes on
// from the next byte. False only when memory ran out.
[[nodiscard]] KELVANE_EXPORT bool Utf8ToUtf16Replacing(std::string_view bytes,
                                                       String& out) noexcept;

}  // namespace kelvane::platform
