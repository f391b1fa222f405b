// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/internal/text_match.h
//
// How the number reader compares what a user typed with the locale's texts: direction marks are
// invisible and ignored, and every kind of space is one space, so "CHF 12" matches the
// formatter's "CHF\u00A012". Not installed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvane::internal {

// Left-to-right, right-to-left and Arabic letter marks, which locales put around signs.
[[nodiscard]] constexpr bool IsDirectionMark(char16_t c) noexcept {
  return c == u'\u200E' || c == u'\u200F' || c == u'\u061C';
}

// ASCII space and tab, and the no-break, narrow no-break, figure and thin spaces.
[[nodiscard]] constexpr bool IsSpace(char16_t c) noexcept {
  return c == u' ' || c == u'\t' || c == u'\u00A0' || c == u'\u202F' || c == u'\u2007' ||
         c == u'\u2009';
}

// `text` as the reader compares it: direction marks dropped, spaces as ' ', and spaces at
// either end dropped too.
[[nodiscard]] std::u16string Comparable(std::u16string_view text);

// The length of the text at the start of `text` that matches `token` (a Comparable() text),
// direction marks skipped and any space matching a space; 0 when it does not match or the token
// is empty. ASCII letters compare without case when `fold` is set.
[[nodiscard]] std::size_t MatchToken(std::u16string_view text, std::u16string_view token,
                                     bool fold = false) noexcept;

}  // namespace kelvane::internal
