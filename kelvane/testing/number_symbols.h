// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/number_symbols.h
//
// Hand-made locale number data for the formatter's tests, so that the rules they check do not
// move with the CLDR release the system's ICU carries.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "kelvane/numbers/decimal.h"
#include "kelvane/numbers/internal/formatter.h"
#include "kelvane/numbers/number_format.h"
#include "kelvane/platform/i18n/number_symbols.h"
#include "kelvane/text/utf8.h"

namespace kelvane::testing {

// UTF-16 text as UTF-8, for messages.
inline std::string Utf8(std::u16string_view text) {
  return Utf8FromString(text).value_or("<not UTF-16>");
}

// REQUIRES: well-formed UTF-8.
inline std::u16string Utf16(std::string_view text) { return StringFromUtf8(text).value(); }

// REQUIRES: plain decimal text.
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

// English changed by `change`.
template <typename Change>
platform::NumberSymbols EnglishWith(Change change) {
  platform::NumberSymbols s = EnglishSymbols();
  change(s);
  return s;
}

// Egyptian Arabic: Arabic-Indic digits and separators, a minus sign with its direction mark.
inline platform::NumberSymbols ArabicSymbols() {
  return EnglishWith([](platform::NumberSymbols& s) {
    for (int d = 0; d < 10; ++d) s.digits[d] = std::u16string(1, static_cast<char16_t>(0x0660 + d));
    s.decimal = u"\u066B";
    s.group = u"\u066C";
    s.minus = u"\u061C-";
    s.decimal_affixes = Implicit(u"", u"", s.minus);
  });
}

// US dollars in English.
inline const ::kelvane::internal::MoneyText& Dollars() {
  static const ::kelvane::internal::MoneyText money{"USD", 2,   u"$", Implicit(u"$", u""),
                                                    u".",  u","};
  return money;
}

// The formatter of `options` over `symbols`, or null.
inline std::shared_ptr<const NumberFormatter> MakeFormatter(
    const platform::NumberSymbols& symbols, const NumberOptions& options,
    const ::kelvane::internal::MoneyText* money = nullptr,
    std::shared_ptr<const platform::PluralRules> plurals = nullptr) {
  return ::kelvane::internal::MakeNumberFormatter(symbols, options, money, std::move(plurals),
                                                  symbols.locale);
}

}  // namespace kelvane::testing
