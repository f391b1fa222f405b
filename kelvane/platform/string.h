// kelvane/platform/string.h
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
// Threads: plain value types; no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane {

using String = std::u16string;
using OptionalString = std::optional<std::u16string_view>;
using Data = std::vector<std::uint8_t>;

// One unit of a WString and of an LWString.
using WChar = unsigned short;
using LWChar = wchar_t;

static_assert(sizeof(WChar) == sizeof(char16_t), "a WString unit is one UTF-16 unit");
static_assert(sizeof(LWChar) == 4, "an LWString unit is one UTF-32 unit");

namespace platform {

// Number of units before the terminator of a WString; 0 for a null pointer.
[[nodiscard]] inline std::size_t WStringLength(const WChar* s) noexcept {
  if (s == nullptr) return 0;
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// The units of a WString before its terminator, as a view that borrows the caller's buffer.
// An empty view for a null pointer.
[[nodiscard]] inline std::u16string_view WStringView(const WChar* s) noexcept {
  return s == nullptr ? std::u16string_view()
                      : std::u16string_view(reinterpret_cast<const char16_t*>(s), WStringLength(s));
}

}  // namespace platform
}  // namespace kelvane
