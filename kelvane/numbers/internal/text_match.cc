// SPDX-License-Identifier: Apache-2.0
#include "kelvane/numbers/internal/text_match.h"

namespace kelvane::internal {
namespace {

char16_t Folded(char16_t c) noexcept { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

}  // namespace

std::u16string Comparable(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (IsDirectionMark(c)) continue;
    out += IsSpace(c) ? u' ' : c;
  }
  const std::size_t first = out.find_first_not_of(u' ');
  if (first == std::u16string::npos) return {};
  return out.substr(first, out.find_last_not_of(u' ') - first + 1);
}

std::size_t MatchToken(std::u16string_view text, std::u16string_view token, bool fold) noexcept {
  if (token.empty()) return 0;
  std::size_t at = 0;
  for (const char16_t want : token) {
    while (at < text.size() && IsDirectionMark(text[at])) ++at;
    if (at == text.size()) return 0;
    const char16_t c = text[at];
    const bool same = want == u' ' ? IsSpace(c) : (fold ? Folded(c) == Folded(want) : c == want);
    if (!same) return 0;
    ++at;
  }
  return at;
}

}  // namespace kelvane::internal
