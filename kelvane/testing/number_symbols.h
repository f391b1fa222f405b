// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/number_symbols.h
//
// Hand-made locale number data for the formatter's tests, so that the rules they check do not
// move with the CLDR release the system's ICU carries, and UTF-8 views of UTF-16 text so that a
// failing check prints readable text.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "kelvane/numbers/decimal.h"
#include "kelvane/numbers/internal/formatter.h"
#include "kelvane/numbers/number_format.h"
#include "kelvane/platform/i18n/number_symbols.h"

namespace kelvane::testing {

// UTF-16 text as UTF-8 (lone surrogates as U+FFFD).
inline std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Well-formed UTF-8 as UTF-16.
inline std::u16string Utf16(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += length;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

// A decimal from plain text; REQUIRES: the text is one.
inline Decimal Dec(std::string_view text) { return Decimal::FromString(text).value(); }

// Affixes: a pattern whose negative part is the minus sign before the positive prefix.
inline platform::PatternAffixes Implicit(std::u16string prefix, std::u16string suffix,
                                         const std::u16string& minus = u"-") {
  return {{prefix, suffix}, {minus + prefix, suffix}};
}

// English as CLDR has it: "1,234.5", "-12%", "$1.00", compact "1.2K" to "12T".
inline platform::NumberSymbols EnglishSymbols() {
  platform::NumberSymbols s;
  s.locale = "en_US";
  for (int d = 0; d < 10; ++d) s.digits[d] = std::u16string(1, static_cast<char16_t>(u'0' + d));
  s.decimal = s.currency_decimal = u".";
  s.group = s.currency_group = u",";
  s.minus = u"-";
  s.plus = u"+";
  s.percent = u"%";
  s.decimal_affixes = Implicit(u"", u"");
  s.percent_affixes = Implicit(u"", u"%");
  s.currency_affixes = Implicit(u"\u00A4", u"");
  const std::pair<int, const char16_t*> units[] = {{3, u"K"}, {6, u"M"}, {9, u"B"}, {12, u"T"}};
  for (const auto& [magnitude, unit] : units) {
    for (int zeros = 1; zeros <= 3; ++zeros) {
      s.compact.push_back(
          {magnitude + zeros - 1, zeros, platform::PluralCategory::kOther, {u"", unit}});
    }
  }
  return s;
}

// The formatter of `options` over `symbols`; REQUIRES: it can be made.
inline std::shared_ptr<const NumberFormatter> MakeFormatter(
    const platform::NumberSymbols& symbols, const NumberOptions& options,
    const internal::MoneyText* money = nullptr,
    std::shared_ptr<const platform::PluralRules> plurals = nullptr) {
  return internal::MakeNumberFormatter(symbols, options, money, std::move(plurals), symbols.locale);
}

}  // namespace kelvane::testing
