// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/charset.h
//
// Character sets and the Windows code page converters.
//
//   CharacterSet  an immutable set of Unicode code points, asked one UTF-16 unit or one code
//                 point at a time. Copies share one frozen set, so passing a set around is cheap.
//                 The shared sets (white space, decimal digits, the characters each URL
//                 component may carry unencoded) are made once and live until exit.
//   EncodeCodePage / IsSupportedCodePage
//                 strict conversion of UTF-16 text into the 8-bit (and, for the East Asian
//                 ones, double-byte) Windows code pages that devices report as their default
//                 non-Unicode encoding.
//
// Threads: a CharacterSet is immutable once made; any number of threads may test membership
// in the same set at once. The converters keep no shared state between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kelvane/export.h"

namespace kelvane::platform {

// A set of Unicode code points, for trimming, splitting and percent-encoding.
class KELVANE_EXPORT CharacterSet {
 public:
  // The set of the characters of `characters`. A well-formed surrogate pair adds its code
  // point; a lone surrogate unit adds that unit's value.
  [[nodiscard]] static CharacterSet FromCharacters(std::u16string_view characters) noexcept;

  // The set of the code points first .. last (both included); empty when first > last.
  [[nodiscard]] static CharacterSet FromRange(char32_t first, char32_t last) noexcept;

  // Spaces and tabs: U+0009 and the Unicode space separators (category Zs), no line breaks.
  [[nodiscard]] static const CharacterSet& Whitespace() noexcept;

  // Whitespace() together with the line breaks U+000A..U+000D, U+0085, U+2028 and U+2029.
  [[nodiscard]] static const CharacterSet& WhitespaceAndNewlines() noexcept;

  // The decimal digits of every script (general category Nd): '0'..'9', U+0660..U+0669, ...
  [[nodiscard]] static const CharacterSet& DecimalDigits() noexcept;

  // The characters that each URL component may carry unencoded, from the RFC 3986 classes
  // (unreserved = ALPHA DIGIT - . _ ~, sub-delims = ! $ & ' ( ) * + , ; =):
  //   URLHostAllowed      unreserved, sub-delims, ':' '[' ']' (a reg-name or an IP literal)
  //   URLPathAllowed      unreserved, sub-delims, ':' '@' '/'
  //   URLQueryAllowed     unreserved, sub-delims, ':' '@' '/' '?'
  //   URLFragmentAllowed  the same members as URLQueryAllowed
  // '%' is in none of them: text encoded with these sets has every '%' escaped.
  [[nodiscard]] static const CharacterSet& URLHostAllowed() noexcept;
  [[nodiscard]] static const CharacterSet& URLPathAllowed() noexcept;
  [[nodiscard]] static const CharacterSet& URLQueryAllowed() noexcept;
  [[nodiscard]] static const CharacterSet& URLFragmentAllowed() noexcept;

  // The empty set.
  CharacterSet() noexcept;

  // Whether the set holds the code point with the unit's value. A surrogate unit is a member
  // only when the set was given that lone unit; a pair's code point never matches its halves.
  [[nodiscard]] bool Contains(char16_t unit) const noexcept;

  // Whether the set holds the code point; false for values above U+10FFFF.
  [[nodiscard]] bool ContainsCodePoint(char32_t code_point) const noexcept;

  // Whether any code point of plane `plane` (plane * 0x10000 .. plane * 0x10000 + 0xFFFF) is in
  // the set; false for planes above 16.
  [[nodiscard]] bool HasMemberInPlane(unsigned int plane) const noexcept;

  // Number of code points in the set.
  [[nodiscard]] std::uint32_t Size() const noexcept;

  struct Impl;  // the engine's set; opaque outside the platform layer

 private:
  explicit CharacterSet(std::shared_ptr<const Impl> impl) noexcept : impl_(std::move(impl)) {}

  std::shared_ptr<const Impl> impl_;  // null for the empty set
};

// Whether `code_page` names one of the Windows code pages the converters serve: 874, 932, 936,
// 949, 950 and 1250 .. 1258.
[[nodiscard]] KELVANE_EXPORT bool IsSupportedCodePage(unsigned int code_page) noexcept;

// The bytes of `text` in the Windows code page `code_page`, without a terminator. Conversion is
// strict: nullopt when the code page is not supported, when a character has no mapping in it
// (no best-fit or substitution byte is ever produced), or when the text holds a lone surrogate.
[[nodiscard]] KELVANE_EXPORT std::optional<std::string> EncodeCodePage(
    std::u16string_view text, unsigned int code_page) noexcept;

}  // namespace kelvane::platform
