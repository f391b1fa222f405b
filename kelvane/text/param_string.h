// SPDX-License-Identifier: Apache-2.0
// kelvane/text/param_string.h
//
// Reading single values out of parameter strings such as "login=123|server=demo|ratio=1.5|",
// and splitting one "key = value" line.
//
// A key is searched for unit by unit, case-sensitive, anywhere in the receiver (not only at the
// start of a field), and the value begins right after the key's first occurrence: a key is given
// together with its separator ("login="). Callers that need a whole field put the preceding
// separator into the key (";id=" rather than "id=", which also matches inside "userid=").
// The value ends before the first unit that belongs to the stop set, or at the end of the
// receiver; a null stop set lets the value run to the end. Values are not trimmed, unquoted or
// unescaped.
//
// Threads: every function runs on the caller's thread and keeps no state; the stop set is only
// read. Only the returned strings are allocated.
#pragma once

#include <cstdint>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/charset.h"

namespace kelvane::NSTools {

// The value of `key` in the receiver, possibly empty. nullopt when the key is absent or empty,
// does not occur, or when nothing follows its first occurrence.
[[nodiscard]] KELVANE_EXPORT std::optional<String> FindValue(
    const String& receiver, OptionalString key, const platform::CharacterSet* stop) noexcept;

// Copies the value of `key` into the WString buffer `wstring` of `size` bytes, cut to the
// buffer's capacity minus the terminator. true when the key was found (also for an empty value).
// When it is not found the buffer holds the empty string and the result is false.
// false, writing nothing, when `key` is absent, `wstring` is null or size < 2 (no room for a
// terminator). Sizes above 4 GiB are taken as 4 GiB - 1, never wrapped.
[[nodiscard]] KELVANE_EXPORT bool ReadParam(const String& receiver, OptionalString key,
                                            const platform::CharacterSet* stop,
                                            unsigned short* wstring, std::uint64_t size) noexcept;

// Reads the number the value of `key` begins with. The conversions are locale-independent: they
// skip leading white space and line breaks, take an optional sign and ASCII decimal digits (the
// double also a decimal point and an exponent), ignore the rest, give 0 when no number begins
// the value, and clamp integers that do not fit to the type's limits (a double that overflows
// becomes an infinity). true when the key was found, also when the value holds no number;
// false, leaving `*out` untouched, when the key is absent or not found, or `out` is null.
[[nodiscard]] KELVANE_EXPORT bool ReadParam(const String& receiver, OptionalString key,
                                            const platform::CharacterSet* stop,
                                            std::int32_t* int32) noexcept;
[[nodiscard]] KELVANE_EXPORT bool ReadParam(const String& receiver, OptionalString key,
                                            const platform::CharacterSet* stop,
                                            std::int64_t* int64) noexcept;
[[nodiscard]] KELVANE_EXPORT bool ReadParam(const String& receiver, OptionalString key,
                                            const platform::CharacterSet* stop,
                                            double* double_) noexcept;

// Splits the receiver at the first occurrence of `separator` into a key and a value, each with
// spaces and tabs (Unicode space separators, not line breaks) trimmed at both ends.
// false, writing neither out pointer, when an out pointer is null, the separator is absent or
// empty, it does not occur, it begins the receiver (an empty key), or nothing follows it.
[[nodiscard]] KELVANE_EXPORT bool ReadKey(const String& receiver, String* key, String* value,
                                          OptionalString separator) noexcept;

// The text as a 32-bit integer, as ReadParam converts it.
[[nodiscard]] KELVANE_EXPORT std::int32_t IntValue(std::u16string_view text) noexcept;
// The text as a 64-bit integer, as ReadParam converts it.
[[nodiscard]] KELVANE_EXPORT std::int64_t LongLongValue(std::u16string_view text) noexcept;
// The text as a double, as ReadParam converts it.
[[nodiscard]] KELVANE_EXPORT double DoubleValue(std::u16string_view text) noexcept;

}  // namespace kelvane::NSTools
