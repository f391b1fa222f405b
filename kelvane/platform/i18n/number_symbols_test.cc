// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/number_symbols.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/numberformatter.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace kelvane::platform {
namespace {

using ::testing::Contains;

// ICU's own text for `value`: the oracle the fields are held to.
std::u16string IcuText(const icu::number::LocalizedNumberFormatter& formatter, double value) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text = formatter.formatDouble(value, status).toString(status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  return std::u16string(text.getBuffer(), static_cast<std::size_t>(text.length()));
}

icu::number::LocalizedNumberFormatter IcuFormatter(const char* tag) {
  UErrorCode status = U_ZERO_ERROR;
  return icu::number::NumberFormatter::withLocale(icu::Locale::forLanguageTag(tag, status));
}

// `plain` ("1234567.50", no sign) written with the fields: the locale's digits, the pattern's
// grouping and the given separators, between the affixes of the sign.
std::u16string Assemble(const NumberSymbols& symbols, const PatternAffixes& pattern, bool negative,
                        std::string_view plain, const std::u16string& decimal,
                        const std::u16string& group) {
  const std::size_t point = std::min(plain.find('.'), plain.size());
  const int whole = static_cast<int>(point);
  const bool grouped = pattern.primary_grouping > 0 &&
                       whole - pattern.primary_grouping >= symbols.minimum_grouping_digits;
  const NumberAffixes& affixes = negative ? pattern.negative : pattern.positive;
  std::u16string text = affixes.prefix;
  for (int i = 0; i < static_cast<int>(plain.size()); ++i) {
    if (i == whole) {
      text += decimal;
      continue;
    }
    text += symbols.digits[plain[static_cast<std::size_t>(i)] - '0'];
    const int left = whole - 1 - i - pattern.primary_grouping;  // digits of the upper groups
    if (grouped && i < whole - 1 &&
        (left == 0 || (left > 0 && left % pattern.secondary_grouping == 0))) {
      text += group;
    }
  }
  return text + affixes.suffix;
}

// Each field is held by what it writes: digits (a zero among them), separators, the minus and
// grouping, with a minimum of two digits before a group in Spanish.
TEST(NumberSymbols, FieldsWriteWhatIcuFormats) {
  for (const char* tag : {"en-US", "de-DE", "de-CH", "fr-FR", "es-ES", "hi-IN", "ar-EG", "fa-IR",
                          "ja-JP", "tr-TR", "nl-NL", "sv-SE"}) {
    SCOPED_TRACE(tag);
    const Result<NumberSymbols> read = ReadNumberSymbols(tag);
    ASSERT_TRUE(read.ok()) << read.error().message;
    const NumberSymbols& s = *read;
    // The formatter takes the decimal style's grouping and minus from the fields of their own.
    EXPECT_EQ(std::tuple(s.primary_grouping, s.secondary_grouping, s.minus),
              std::tuple(s.decimal_affixes.primary_grouping, s.decimal_affixes.secondary_grouping,
                         s.decimal_affixes.negative.prefix));
    const auto decimal = IcuFormatter(tag);
    const auto percent = decimal.unit(icu::NoUnit::percent());
    EXPECT_EQ(Assemble(s, s.decimal_affixes, true, "1204567.5", s.decimal, s.group),
              IcuText(decimal, -1204567.5));
    EXPECT_EQ(Assemble(s, s.decimal_affixes, false, "1234", s.decimal, s.group),
              IcuText(decimal, 1234));
    EXPECT_EQ(Assemble(s, s.percent_affixes, true, "12.5", s.decimal, s.group),
              IcuText(percent, -12.5));
    EXPECT_EQ(Assemble(s, s.percent_affixes, false, "1234567", s.decimal, s.group),
              IcuText(percent, 1234567));
  }
}

TEST(NumberSymbols, MoneyAffixesWriteWhatIcuFormats) {
  struct Row {
    const char* tag;
    const char* code;
    CurrencyDisplay display;
  };
  const Row rows[] = {
      {"en-US", "USD", CurrencyDisplay::kSymbol},
      {"en-US", "CHF", CurrencyDisplay::kSymbol},  // a letter meets the digits
      {"de-DE", "EUR", CurrencyDisplay::kSymbol},
      {"de-CH", "CHF", CurrencyDisplay::kSymbol},  // "CHF-1’234.50" when negative
      {"nl-NL", "EUR", CurrencyDisplay::kSymbol},  // a negative part of its own
      {"ja-JP", "jpy", CurrencyDisplay::kSymbol},
      {"ar-EG", "EGP", CurrencyDisplay::kSymbol},
      {"fa-IR", "USD", CurrencyDisplay::kCode},
      {"mr-IN", "INR", CurrencyDisplay::kSymbol},  // money grouped by threes
      {"en-DE", "USD", CurrencyDisplay::kSymbol},  // the euro's pattern for all
      {"en-SE", "EUR", CurrencyDisplay::kSymbol},  // the euro's own separators
      {"de-CH", "EUR", CurrencyDisplay::kCode},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.tag) + " " + row.code);
    const Result<NumberSymbols> read = ReadNumberSymbols(row.tag);
    ASSERT_TRUE(read.ok()) << read.error().message;
    const Result<MoneyPattern> money = MoneyAffixes(*read, row.code, row.display);
    ASSERT_TRUE(money.ok()) << money.error().message;
    icu::UnicodeString code = icu::UnicodeString(row.code).toUpper();
    UErrorCode status = U_ZERO_ERROR;
    const auto icu = IcuFormatter(row.tag)
                         .unit(icu::CurrencyUnit(code.getTerminatedBuffer(), status))
                         .unitWidth(row.display == CurrencyDisplay::kCode ? UNUM_UNIT_WIDTH_ISO_CODE
                                                                          : UNUM_UNIT_WIDTH_SHORT);
    ASSERT_TRUE(U_SUCCESS(status));
    const std::string_view plain = CurrencyDigits(row.code) == 0 ? "1234568" : "1234567.50";
    for (const bool negative : {false, true}) {
      EXPECT_EQ(Assemble(*read, *money, negative, plain, money->decimal, money->group),
                IcuText(icu, negative ? -1234567.5 : 1234567.5));
    }
  }
  // The placeholder stands in the symbols, the currency in money.
  const Result<NumberSymbols> swiss = ReadNumberSymbols("de-CH");
  ASSERT_TRUE(swiss.ok());
  EXPECT_EQ(swiss->currency_affixes.positive.prefix, u"\u00A4\u00A0");
  EXPECT_EQ(MoneyAffixes(*swiss, "CHF", CurrencyDisplay::kSymbol)->positive.prefix, u"CHF\u00A0");
}

TEST(NumberSymbols, CompactFormsAsCldrGivesThem) {
  using enum PluralCategory;
  // The texts the forms write up to 10^12 are held against ICU in number_icu_test.cc (no form
  // for German thousands, quotes gone from "Mio'.'", Japanese units of 10^4, one Russian form for
  // four categories with one pattern, Arabic's "few" thousands); here, that every form is read,
  // in order.
  const std::pair<const char*, std::size_t> rows[] = {
      {"en", 12}, {"de", 12}, {"ja", 17}, {"ru", 12}, {"ar", 13}};
  for (const auto& [tag, forms] : rows) {
    SCOPED_TRACE(tag);
    const Result<NumberSymbols> read = ReadNumberSymbols(tag);
    ASSERT_TRUE(read.ok()) << read.error().message;
    // 10^3 to 10^14 (10^19 in Japanese), more where categories differ.
    EXPECT_EQ(read->compact.size(), forms);
    EXPECT_TRUE(std::ranges::is_sorted(read->compact, {}, &CompactForm::magnitude));
  }
  EXPECT_THAT(ReadNumberSymbols("en")->compact, Contains(CompactForm{14, 3, kOther, {u"", u"T"}}));
}

TEST(NumberSymbols, CurrenciesAndTheirDigits) {
  // Each region's own currency and those currencies' digits are held against ICU in
  // number_icu_test.cc.
  EXPECT_EQ(CurrencyForLocale("hi_IN"), "INR");
  EXPECT_EQ(CurrencyForLocale("en-US-u-cu-eur"), "EUR");
  EXPECT_EQ(CurrencyForLocale("de"), std::nullopt);  // no region, no currency
  EXPECT_EQ(CurrencyForLocale(std::string("de-CH\0x", 7)), std::nullopt);
  const std::pair<std::string_view, int> digits[] = {
      {"usd", 2}, {"US", -1}, {"USDX", -1}, {"U$D", -1}, {"", -1}};
  for (const auto& [code, expected] : digits) EXPECT_EQ(CurrencyDigits(code), expected) << code;
}

TEST(NumberSymbols, RefusesWhatIsNoLocaleAndNoCurrency) {
  // clang-format off
  const std::string hostile[] = {
      "", std::string(10 * 1024, 'a'), std::string("de\0CH", 5), "de CH", "en--US", "\xC3\xA9n",
      "de@", "de@@numbers=arab", "de@numbers", "de@=arab", "de@numbers=arab;", "de@nu=a=b"};
  // clang-format on
  for (const std::string& id : hostile) {
    SCOPED_TRACE(id.substr(0, 16));
    const Result<NumberSymbols> read = ReadNumberSymbols(id);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().kind, ErrorKind::kMalformed);
    EXPECT_EQ(PluralRules::ForLocale(id), nullptr);
  }
  const Result<NumberSymbols> us = ReadNumberSymbols("en-US");
  ASSERT_TRUE(us.ok());
  for (const char* code : {"", "US", "US$", "USDD"}) {
    const Result<MoneyPattern> money = MoneyAffixes(*us, code, CurrencyDisplay::kSymbol);
    ASSERT_FALSE(money.ok()) << code;
    EXPECT_EQ(money.error().kind, ErrorKind::kMalformed) << code;
  }
  NumberSymbols forged = *us;
  forged.locale = std::string(10 * 1024, 'a');
  EXPECT_FALSE(MoneyAffixes(forged, "USD", CurrencyDisplay::kSymbol).ok());
}

TEST(NumberSymbols, UnknownLanguageGetsRootAndWhatIcuReadReadsBack) {
  const Result<NumberSymbols> unknown = ReadNumberSymbols("xx-YY");
  const Result<NumberSymbols> root = ReadNumberSymbols("root");
  ASSERT_TRUE(unknown.ok());
  ASSERT_TRUE(root.ok());
  // Not the process's default locale, which ICU would fall back to.
  EXPECT_EQ(unknown->currency_affixes, root->currency_affixes);
  EXPECT_EQ(unknown->compact, root->compact);
  struct Row {
    const char* tag;
    std::string engine;
    std::u16string nine;
  };
  const Row rows[] = {{"xx-YY", "root", u"9"},
                      {"xx-u-nu-arab", "root@numbers=arab", u"\u0669"},
                      {"hi-IN-u-nu-deva", "hi_IN@numbers=deva", u"\u096F"},
                      {"de-CH-u-cu-eur", "de_CH@currency=eur", u"9"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tag);
    const Result<NumberSymbols> first = ReadNumberSymbols(row.tag);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first->locale, row.engine);
    const Result<NumberSymbols> again = ReadNumberSymbols(first->locale);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->locale, row.engine);
    EXPECT_EQ(again->digits[9], row.nine);
    EXPECT_NE(PluralRules::ForLocale(first->locale), nullptr);
  }
}

TEST(NumberSymbols, PluralCategoriesOfEnglishFrenchAndRussian) {
  struct Row {
    const char* tag;
    double value;
    PluralCategory category;
  };
  using enum PluralCategory;
  const Row rows[] = {
      {"en", 1, kOne},   {"en", 1.5, kOther}, {"en", 0, kOther},   {"fr", 0, kOne},
      {"fr", 1.5, kOne}, {"fr", 2, kOther},   {"ru", 1, kOne},     {"ru", 21, kOne},
      {"ru", 3, kFew},   {"ru", 11, kMany},   {"ru", 1.5, kOther}, {"xx", 1, kOther},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.tag) + " " + std::to_string(row.value));
    const auto rules = PluralRules::ForLocale(row.tag);
    ASSERT_NE(rules, nullptr);
    EXPECT_EQ(rules->Select(row.value), row.category);
  }
}

}  // namespace
}  // namespace kelvane::platform
