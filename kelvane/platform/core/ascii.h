// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/ascii.h
//
// ASCII character tests and case mapping for the formats the library parses (hex, URLs,
// language tags, MIME types, parameter strings). They look at ASCII alone, whatever the process's
// C locale says: a Turkish locale does not lower 'I' to a dotless i here, and no code unit above
// 0x7F is a letter or a digit.
//
// Each works on char and on UTF-16 code units alike. Threads: any; they hold no state.
#pragma once

namespace kelvane::platform::ascii {

// True for '0' .. '9'.
template <typename Char>
[[nodiscard]] constexpr bool IsDigit(Char c) noexcept {
  return c >= Char('0') && c <= Char('9');
}

// True for 'a' .. 'z' and 'A' .. 'Z'.
template <typename Char>
[[nodiscard]] constexpr bool IsAlpha(Char c) noexcept {
  return (c >= Char('a') && c <= Char('z')) || (c >= Char('A') && c <= Char('Z'));
}

// True for an ASCII letter or digit.
template <typename Char>
[[nodiscard]] constexpr bool IsAlnum(Char c) noexcept {
  return IsDigit(c) || IsAlpha(c);
}

// The value of a hexadecimal digit (either case), or -1 for anything else.
template <typename Char>
[[nodiscard]] constexpr int HexValue(Char c) noexcept {
  if (IsDigit(c)) return static_cast<int>(c - Char('0'));
  if (c >= Char('a') && c <= Char('f')) return static_cast<int>(c - Char('a')) + 10;
  if (c >= Char('A') && c <= Char('F')) return static_cast<int>(c - Char('A')) + 10;
  return -1;
}

// True for a hexadecimal digit of either case.
template <typename Char>
[[nodiscard]] constexpr bool IsHexDigit(Char c) noexcept {
  return HexValue(c) >= 0;
}

// 'A' .. 'Z' as 'a' .. 'z'; every other unit as it is.
template <typename Char>
[[nodiscard]] constexpr Char ToLower(Char c) noexcept {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

// 'a' .. 'z' as 'A' .. 'Z'; every other unit as it is.
template <typename Char>
[[nodiscard]] constexpr Char ToUpper(Char c) noexcept {
  return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - ('a' - 'A')) : c;
}

}  // namespace kelvane::platform::ascii
