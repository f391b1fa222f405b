// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/internal/strings_table_xml.h
//
// The reader of string tables in the XML property-list form, and the small text helpers it
// shares with the reader of the other forms (kelvane/platform/i18n/strings_table.cc). Not
// installed.
#pragma once

#include <string_view>

#include "kelvane/platform/core/result.h"
#include "kelvane/platform/i18n/strings_table.h"

namespace kelvane::platform::internal {

inline bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Whether every surrogate in `text` is one half of a pair.
inline bool WellFormed(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i])) {
      if (i + 1 == text.size() || !IsLowSurrogate(text[i + 1])) return false;
      ++i;
    } else if (IsLowSurrogate(text[i])) {
      return false;
    }
  }
  return true;
}

// The string entries of the dictionary of the XML property list `text` (see strings_table.h for
// what is read); kMalformed with the line and the reason otherwise.
Result<StringsTable> ReadXmlStringsTable(std::u16string_view text);

}  // namespace kelvane::platform::internal
