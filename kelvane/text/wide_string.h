// SPDX-License-Identifier: Apache-2.0
// kelvane/text/wide_string.h
//
// The bridge between String and the raw text buffers kept inside the trading core's records:
// WString (zero-terminated UTF-16 units in machine order, `unsigned short*`) and LWString
// (zero-terminated UTF-32 units, `wchar_t*`), see kelvane/platform/core/string.h. Comparison and
// search of WStrings, Strings made from WStrings and LWStrings, a String's text as UTF-16 or
// UTF-32 units, and comparisons of a String with a WString or a byte string.
//
// Conventions: a count of units counts 16-bit units (a character outside the Basic Multilingual
// Plane is two). Comparisons return exactly -1, 0 or 1 unless stated otherwise; searches return a
// unit index, or -1 when nothing is found. Constructors return std::nullopt where the text cannot
// be made. Every function reads no further than a terminator or the count it is given.
//
// Ownership: the library never keeps a caller's buffer. The buffers returned by UTF16String and
// UTF32String are borrowed; see each for how long they stay valid.
//
// Threads: everything runs on the caller's thread. The only state touched is the calling
// thread's own: CompareNoCase works in its scratch strings 0 and 1
// (kelvane/runtime/scratch_environment.h), UTF32String in a buffer of the thread.
#pragma once

#include <cstdint>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane {

// A read-only empty WString (one zero unit), for callers that need a non-null WString.
extern KELVANE_EXPORT const unsigned short ExtWEmpty[1];

namespace NSTools {

// ---- WString free functions ---------------------------------------------------------------

// Unit-wise comparison of two WStrings: -1, 0 or 1.
// count 0 compares the whole strings, the shorter of a prefix pair being the lesser. A non-zero
// count compares exactly `count` units of each, zero units included.
// Units compare as unsigned 16-bit numbers, so surrogates order below U+E000..U+FFFF.
// 0 when either pointer is null.
// REQUIRES: with a non-zero count, both buffers hold `count` units.
[[nodiscard]] KELVANE_EXPORT int Compare(const unsigned short* a, const unsigned short* b,
                                         unsigned int count = 0) noexcept;

// Case-insensitive comparison (full Unicode case folding) of two WStrings: -1, 0 or 1.
// Copies both into the calling thread's scratch strings 0 and 1, overwriting what they held,
// and allocates nothing once those have grown to the strings' size.
// 0 when either pointer is null, and for every pair on a thread that has not reserved at least
// two scratch strings (SetEnviromentString(2)).
// REQUIRES: neither argument points into scratch string 0 or 1.
[[nodiscard]] KELVANE_EXPORT int CompareNoCase(const unsigned short* a,
                                               const unsigned short* b) noexcept;

// True when both strings are empty or absent (in any mix), false when exactly one is, and
// otherwise whether they hold the same units.
[[nodiscard]] KELVANE_EXPORT bool ContentEquals(OptionalString a, OptionalString b) noexcept;

// Index of the first (FindChar) or last (FindRChar) unit equal to `c` among the first `count`
// units of `s`, the scan stopping at the terminator; the terminator itself is never reported.
// -1 when `s` is null, `count` is 0, or there is no such unit. Indexes beyond INT32_MAX are not
// scanned.
[[nodiscard]] KELVANE_EXPORT int FindChar(const unsigned short* s, unsigned int count,
                                          unsigned short c) noexcept;
[[nodiscard]] KELVANE_EXPORT int FindRChar(const unsigned short* s, unsigned int count,
                                           unsigned short c) noexcept;

// ---- Strings from WStrings and LWStrings ------------------------------------------------------

// A String holding the units of `s` before its terminator (unpaired surrogates are kept as
// they are). std::nullopt for a null pointer or when memory runs out.
[[nodiscard]] KELVANE_EXPORT std::optional<String> stringWithWString(
    const unsigned short* s) noexcept;
[[nodiscard]] KELVANE_EXPORT std::optional<String> initWithWString(
    const unsigned short* s) noexcept;

// A String decoded from `length` UTF-32 units (read as 32-bit little-endian values). A zero unit
// inside the length is kept as U+0000. std::nullopt for a null pointer, for a unit that is
// negative, a surrogate (U+D800..U+DFFF) or above U+10FFFF, or when memory runs out. A length of
// 0 gives the empty string.
// REQUIRES: `s` addresses `length` readable units.
[[nodiscard]] KELVANE_EXPORT std::optional<String> initWithLWString(const wchar_t* s,
                                                                    unsigned int length) noexcept;
// The same over the units before the zero terminator.
[[nodiscard]] KELVANE_EXPORT std::optional<String> initWithLWString(const wchar_t* s) noexcept;
[[nodiscard]] KELVANE_EXPORT std::optional<String> stringWithLWString(const wchar_t* s) noexcept;

// Number of units of `s` before its terminator; 0 for a null pointer. Saturates at UINT_MAX.
[[nodiscard]] KELVANE_EXPORT unsigned int Length(const unsigned short* s) noexcept;

// ---- A String's text as units -----------------------------------------------------------------

// The receiver's own zero-terminated buffer as a WString: costs nothing. Valid while the
// receiver lives and is not modified. Text after an embedded zero unit is invisible to WString
// readers. The units are char16_t objects: read them through platform::AliasedWChar or copy them
// (kelvane/platform/i18n/unicode.h explains why).
[[nodiscard]] KELVANE_EXPORT const unsigned short* UTF16String(const String& self) noexcept;
// A temporary's buffer would dangle at once.
const unsigned short* UTF16String(const String&& self) = delete;

// Number of UTF-16 units of the receiver, embedded zero units included. Saturates at UINT_MAX.
[[nodiscard]] KELVANE_EXPORT unsigned int UTF16Length(const String& self) noexcept;

// The receiver's text as zero-terminated UTF-32 units, in a buffer of the calling thread that
// stays valid (and unchanged) until the next UTF32String call on the same thread, or the
// thread's end; copy it to keep it longer. nullptr when the receiver holds an unpaired surrogate
// or memory runs out.
[[nodiscard]] KELVANE_EXPORT const wchar_t* UTF32String(const String& self) noexcept;

// Number of Unicode scalar values of the receiver; 0 when it holds an unpaired surrogate (it has
// no UTF-32 form). Saturates at UINT_MAX.
[[nodiscard]] KELVANE_EXPORT unsigned int UTF32Length(const String& self) noexcept;

// ---- Comparisons with a String receiver -------------------------------------------------------

// NSTools::Compare of the receiver's units with `s`: -1, 0 or 1; 0 for a null `s`.
// With a non-zero count, receiver units beyond its end (terminator included) take part as zero
// units, so a short receiver is never read past its buffer.
// REQUIRES: with a non-zero count, `s` holds `count` units.
[[nodiscard]] KELVANE_EXPORT int Compare(const String& self, const unsigned short* s,
                                         unsigned int count = 0) noexcept;

// Unit index in `s` of the first case-insensitive occurrence of the receiver's text (full
// Unicode case folding; a match covers whole characters of `s`). -1 when `s` is null, the
// receiver is empty, or it does not occur.
[[nodiscard]] KELVANE_EXPORT int ContentsIn(const String& self, const unsigned short* s) noexcept;

// Byte comparison of the receiver's UTF-8 form with the zero-terminated `s`; only the sign of
// the result is defined. A null `s` sorts before every receiver (a positive result). -1 when
// the receiver has no UTF-8 form (an unpaired surrogate) or memory runs out.
[[nodiscard]] KELVANE_EXPORT int CompareString(const String& self, const char* s) noexcept;

// Byte comparison of the receiver's UTF-8 form with `s` over n bytes, n being the smaller of
// `size` and the receiver's UTF-8 byte count: 0 when `s` begins with the receiver's text (as
// far as `size` reaches). Only the sign is defined. -1 when `s` is null, the receiver has no
// UTF-8 form, or memory runs out.
// REQUIRES: `s` is zero-terminated or holds at least `size` bytes.
[[nodiscard]] KELVANE_EXPORT int CompareString(const String& self, const char* s,
                                               unsigned int size) noexcept;

// The default ordering (Unicode code point order) of the receiver against `other`, negated:
// -1, 0 or 1; as a comparator it sorts strings in descending order.
[[nodiscard]] KELVANE_EXPORT int64_t InverseCompare(const String& self,
                                                    const String& other) noexcept;

// ---- Mutable strings --------------------------------------------------------------------------

// Empties the receiver; it keeps its capacity for reuse.
KELVANE_EXPORT void Clear(String& self) noexcept;

// Replaces the receiver's text by the units of `s` before its terminator (a null pointer leaves
// it empty). When memory runs out the receiver is left empty.
KELVANE_EXPORT void setWString(String& self, const unsigned short* s) noexcept;

// Appends the units of `s` before its terminator; a null pointer appends nothing. When memory
// runs out the receiver is unchanged.
KELVANE_EXPORT void appendWString(String& self, const unsigned short* s) noexcept;

}  // namespace NSTools
}  // namespace kelvane
