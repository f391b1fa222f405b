// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/string.h
//
// The string and byte-buffer types at the library's boundary.
//
//   String          UTF-16 text, like the platform strings the trading core was written against;
//                   a mutable string is a String&.
//   OptionalString  a string argument that may be absent: std::nullopt is "no string", u"" is the
//                   empty string. The two differ wherever a contract tells them apart.
//   Data            bytes; a buffer that may be absent is passed as a pointer (null = absent) or
//                   returned as std::optional<Data>.
//   WString         zero-terminated UTF-16 units in machine order, `unsigned short*`; sizes of
//                   WString buffers that the library fills are given in bytes.
//   LWString        zero-terminated UTF-32 units, `wchar_t*` (32-bit on Linux).
//
// WString units and aliasing: a WString may be a String's own char16_t buffer (what
// NSTools::UTF16String hands out) as well as an array of unsigned short, and reading one type's
// objects through the other's lvalue is undefined. So the library touches WString units in one
// way only: single units through AliasedWChar, which may alias any object, and runs of units as
// bytes (memcpy, memmove). It never indexes a WString through a plain `unsigned short*` or
// views one as char16_t. Callers who read the buffer of UTF16String should do the same.
//
// Threads: plain value types; no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane {

// Text: UTF-16 code units.
using String = std::u16string;
// A text argument that may be absent: std::nullopt is absent, u"" is the empty text.
using OptionalString = std::optional<std::u16string_view>;
// Bytes.
using Data = std::vector<std::uint8_t>;

// One unit of a WString (UTF-16) and of an LWString (UTF-32).
using WChar = unsigned short;
// One unit of an LWString (UTF-32).
using LWChar = wchar_t;

static_assert(sizeof(WChar) == sizeof(char16_t), "a WString unit is one UTF-16 unit");
static_assert(sizeof(LWChar) == 4, "an LWString unit is one UTF-32 unit");

namespace platform {

// One WString unit, readable and writable wherever it is stored (unsigned short or char16_t).
typedef WChar __attribute__((__may_alias__)) AliasedWChar;

// Number of units before the terminator of a WString; 0 for a null pointer.
[[nodiscard]] inline std::size_t WStringLength(const WChar* s) noexcept {
  if (s == nullptr) return 0;
  const AliasedWChar* p = s;
  std::size_t n = 0;
  while (p[n] != 0) ++n;
  return n;
}

// A copy of the units of a WString before its terminator; the empty string for a null pointer.
// Throws std::bad_alloc like any String constructor.
[[nodiscard]] inline String WStringText(const WChar* s) {
  String text(WStringLength(s), u'\0');
  if (!text.empty()) std::memcpy(text.data(), s, text.size() * sizeof(char16_t));
  return text;
}

}  // namespace platform
}  // namespace kelvane
