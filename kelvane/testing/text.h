// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/text.h
//
// Test helpers for UTF-16 text: literals seen as the library's unsigned-short strings, and the
// loose checks the formatting tests make where the exact wording belongs to locale data.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace kelvane::testing {

// A UTF-16 literal as a terminated array of unsigned 16-bit units.
inline const unsigned short* W(const char16_t* s) {
  return reinterpret_cast<const unsigned short*>(s);
}

inline bool HasDigit(std::u16string_view s) {
  return std::any_of(s.begin(), s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

inline bool Contains(std::u16string_view s, std::u16string_view part) {
  return s.find(part) != std::u16string_view::npos;
}

}  // namespace kelvane::testing
