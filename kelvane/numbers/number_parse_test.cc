// SPDX-License-Identifier: Apache-2.0
// The strict reader on hand-made locale data. That what each style writes reads back is held in
// number_icu_test.cc, over the locales' own data.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "kelvane/numbers/number_format.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/number_symbols.h"

namespace kelvane {
namespace {

using platform::NumberSymbols;
using platform::PluralCategory;
using testing::Dec;
using testing::EnglishSymbols;
using testing::Utf8;
using E = NumberParseError;
using S = NumberStyle;

const NumberSymbols kEnglish = EnglishSymbols();

// French: narrow no-break spaces between groups and before the percent sign.
const NumberSymbols kFrench = testing::EnglishWith([](NumberSymbols& s) {
  s.decimal = u",";
  s.group = u"\u202F";
  s.percent_affixes = testing::Implicit(u"", u"\u202F%");
  s.compact = {{3, 1, PluralCategory::kOther, {u"", u"\u00A0k"}}};
});
const NumberSymbols kArabic = testing::ArabicSymbols();
// Bengali tells crores from thousands of crores by the space before the unit alone.
const NumberSymbols kBengali = testing::EnglishWith([](NumberSymbols& s) {
  s.compact = {{7, 1, PluralCategory::kOther, {u"", u"\u00A0\u0995\u09CB"}},
               {11, 3, PluralCategory::kOther, {u"", u"\u0995\u09CB"}}};
});

const internal::MoneyText& kDollars = testing::Dollars();
const internal::MoneyText kFrancs{"CHF", 2,        u"CHF", {{u"CHF\u00A0", u""}, {u"CHF-", u""}},
                                  u".",  u"\u2019"};

const NumberOptions kPrice{};
const NumberOptions kMoney{.style = S::kMoney};
const NumberOptions kEighths{.tick = Dec("0.0078125"), .fractional = true};
const NumberOptions kThirtySeconds{.tick = Dec("0.03125"), .fractional = true};

std::string Read(const NumberSymbols& symbols, const NumberOptions& options,
                 const internal::MoneyText* money, std::u16string_view text) {
  const auto formatter = testing::MakeFormatter(symbols, options, money);
  if (formatter == nullptr) return "<no formatter>";
  const NumberParse read = formatter->Parse(text);
  if (read.value) return read.value->ToString();
  return std::string(NumberParseErrorText(read.error)) + " at " + std::to_string(read.position);
}

std::string Error(E error, std::size_t position) {
  return std::string(NumberParseErrorText(error)) + " at " + std::to_string(position);
}

TEST(NumberParse, ReadsWhatUsersTypeAndSaysWhereTheRestGoesWrong) {
  const struct {
    const NumberSymbols* symbols;
    NumberOptions options;
    const internal::MoneyText* money;
    std::u16string text;
    std::string value;  // or the error and its position
  } rows[] = {
      {&kEnglish, kPrice, nullptr, u"1234,567.25", "1234567.25"},  // some groups left out
      {&kEnglish, kPrice, nullptr, u" \u00A0\u200E-.5\u202F ", "-0.5"},
      {&kEnglish, kPrice, nullptr, u"+0012.3400", "12.3400"},
      {&kEnglish, kPrice, nullptr, u"-9223372036854775808", "-9223372036854775808"},
      {&kEnglish, {.style = S::kPercent}, nullptr, u"%12.5", "12.5"},
      {&kEnglish, {.style = S::kCompact}, nullptr, u"-1.2345M", "-1234500"},
      {&kEnglish, {.style = S::kCompact}, nullptr, u"1.23456789K", "1234.56789"},
      {&kEnglish, kMoney, &kDollars, u"$ -1,234.50", "-1234.50"},
      {&kEnglish, kMoney, &kDollars, u"12.50$", "12.50"},
      {&kEnglish, kMoney, &kDollars, u"12.50 usd", "12.50"},
      {&kEnglish, kMoney, &kDollars, u"12", "12"},
      {&kEnglish, kMoney, &kFrancs, u"CHF 1'234.50", "1234.50"},
      {&kFrench, kPrice, nullptr, u"1 234,5", "1234.5"},
      {&kFrench, {.style = S::kPercent}, nullptr, u"-1 234,5 %", "-1234.5"},
      {&kFrench, {.style = S::kCompact}, nullptr, u"1,5 k", "1500"},
      {&kArabic, kPrice, nullptr, u"1\u066C234\u066B5", "1234.5"},
      {&kBengali, {.style = S::kCompact}, nullptr, u"347 \u0995\u09CB", "3470000000"},
      {&kBengali, {.style = S::kCompact}, nullptr, u"834\u0995\u09CB", "834000000000"},
      {&kEnglish, kEighths, nullptr, u"-1,099-16+", "-1099.5156250"},
      {&kEnglish, kEighths, nullptr, u"99.5", "99.5"},
      // Refused: the reason, and where it stands.
      {&kEnglish, kPrice, nullptr, u" \u00A0 ", Error(E::kEmpty, 0)},
      {&kEnglish, kPrice, nullptr, u"12,34", Error(E::kMisplacedGrouping, 2)},
      {&kEnglish, kPrice, nullptr, u",123", Error(E::kMisplacedGrouping, 0)},
      {&kEnglish, kPrice, nullptr, u"1,,234", Error(E::kMisplacedGrouping, 1)},
      {&kEnglish, kPrice, nullptr, u"1,234,", Error(E::kMisplacedGrouping, 5)},
      {&kEnglish, kPrice, nullptr, u"1.234,5", Error(E::kMisplacedGrouping, 5)},
      {&kEnglish, kPrice, nullptr, u"1.2.3", Error(E::kUnexpected, 3)},
      {&kEnglish, kPrice, nullptr, u"12 34", Error(E::kUnexpected, 3)},
      {&kEnglish, kPrice, nullptr, u"--12", Error(E::kUnexpected, 1)},
      {&kEnglish, kPrice, nullptr, u"12-", Error(E::kUnexpected, 2)},
      {&kEnglish, kPrice, nullptr, u"12%", Error(E::kUnexpected, 2)},
      {&kEnglish, kPrice, nullptr, u"1e5", Error(E::kUnexpected, 1)},
      {&kEnglish, kPrice, nullptr, u"12\u0663", Error(E::kUnexpected, 2)},
      {&kEnglish, kPrice, nullptr, u"- .", Error(E::kMissingDigits, 2)},
      {&kEnglish, kPrice, nullptr, u"9223372036854775808", Error(E::kTooManyDigits, 0)},
      {&kEnglish, kPrice, nullptr, u"99999999999999999999", Error(E::kTooManyDigits, 18)},
      {&kEnglish, kPrice, nullptr, u"0.0000000000000000001", Error(E::kTooManyDigits, 20)},
      {&kEnglish, {.style = S::kPercent}, nullptr, u"12%%", Error(E::kUnexpected, 3)},
      {&kEnglish, {.style = S::kCompact}, nullptr, u"1.2KK", Error(E::kUnexpected, 4)},
      {&kEnglish, {.style = S::kCompact}, nullptr, u"9300000000T", Error(E::kTooManyDigits, 0)},
      {&kEnglish, kMoney, &kDollars, u"\u20AC12", Error(E::kWrongCurrency, 0)},
      {&kEnglish, kMoney, &kDollars, u"12 EUR", Error(E::kWrongCurrency, 3)},
      {&kEnglish, kMoney, &kDollars, u"US$12", Error(E::kWrongCurrency, 0)},
      {&kEnglish, kMoney, &kDollars, u"$$12", Error(E::kUnexpected, 1)},
      {&kEnglish, kMoney, &kDollars, u"$", Error(E::kMissingDigits, 1)},
      {&kEnglish, kPrice, nullptr, u"$12", Error(E::kUnexpected, 0)},
      {&kArabic, kPrice, nullptr, u"1234.5", Error(E::kUnexpected, 4)},
      {&kEnglish, kEighths, nullptr, u"99-32", Error(E::kBadFraction, 3)},
      {&kEnglish, kEighths, nullptr, u"99-1", Error(E::kBadFraction, 3)},
      {&kEnglish, kEighths, nullptr, u"99-163", Error(E::kBadFraction, 5)},
      {&kEnglish, kEighths, nullptr, u"99-169", Error(E::kBadFraction, 5)},
      {&kEnglish, kThirtySeconds, nullptr, u"99-16+", Error(E::kBadFraction, 5)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.text));
    EXPECT_EQ(Read(*row.symbols, row.options, row.money, row.text), row.value);
  }
}

// Text and locale names from outside, far past anything a number needs, in a child with 512 MiB
// of address space and 10 seconds: refused, with no copy of the text made first.
[[maybe_unused]] const bool kHostileChild = testing::ChildProcess("number-parse-hostile", [] {
  const auto price = testing::MakeFormatter(kEnglish, kPrice);
  if (price == nullptr) return 1;
  const std::string digits(std::size_t{300} << 20, '7');
  if (price->Parse(std::string_view(digits)).error != E::kTooManyDigits) return 2;
  if (NumberFormatter::Make(std::string(std::size_t{64} << 20, 'x')) != nullptr) return 3;
  return 0;
});

TEST(NumberParse, RefusesHostileTextAtOnce) {
  EXPECT_EQ(testing::RunLimitedChild("number-parse-hostile",
                                     {.memory_bytes = std::uint64_t{512} << 20, .seconds = 10})
                .status,
            0)
      << "2: 300 MB of digits not refused as too many; 3: a 64 MB locale name made a formatter";
  const auto price = testing::MakeFormatter(kEnglish, kPrice);
  const auto money = testing::MakeFormatter(kEnglish, kMoney, &kDollars);
  const auto arabic = testing::MakeFormatter(kArabic, kPrice);
  ASSERT_THAT((std::vector{price, money, arabic}), ::testing::Each(::testing::NotNull()));
  std::u16string misplaced = u"1";
  std::u16string placed = u"1";
  for (int i = 0; i < 10000; ++i) {
    misplaced += u",1";
    placed += u",234";
  }
  const struct {
    const char* why;
    std::u16string text;
    std::string error;
  } rows[] = {
      {"10 KB of digits", std::u16string(10240, u'7'), Error(E::kTooManyDigits, 19)},
      {"10 KB of fraction digits", u"0." + std::u16string(10240, u'7'),
       Error(E::kTooManyDigits, 20)},
      {"10,000 misplaced separators", misplaced, Error(E::kMisplacedGrouping, 1)},
      {"10,000 groups in place", placed, Error(E::kTooManyDigits, 26)},
      {"a lone surrogate", std::u16string(u"12") + char16_t{0xD800}, Error(E::kUnexpected, 2)},
      {"an embedded NUL", std::u16string{u'1', u'2', u'\0', u'3', u'4'}, Error(E::kUnexpected, 2)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(Read(kEnglish, kPrice, nullptr, row.text), row.error);
  }
  // UTF-8: positions count bytes; bytes that are not UTF-8 are refused where they stand.
  const struct {
    const NumberFormatter* formatter;
    std::string text;
    std::string error;
  } bytes[] = {
      {price.get(), "12\xFF", Error(E::kUnexpected, 2)},
      {price.get(), "1\xC0\xB2", Error(E::kUnexpected, 1)},      // an overlong '2'
      {price.get(), "1\xED\xA0\x80", Error(E::kUnexpected, 1)},  // a surrogate
      {money.get(), "12 \xE2\x82\xAC", Error(E::kWrongCurrency, 3)},
      {arabic.get(), "\xD9\xA1\xD9\xA2x", Error(E::kUnexpected, 4)},
      {price.get(), std::string(300, '1'), Error(E::kTooManyDigits, 19)},
      {money.get(), "\xE2\x80\xAF$1,234.50 ", "1234.50"},
  };
  for (const auto& row : bytes) {
    SCOPED_TRACE(row.text.substr(0, 20));
    const NumberParse read = row.formatter->Parse(std::string_view(row.text));
    EXPECT_EQ(read.value ? read.value->ToString() : Error(read.error, read.position), row.error);
  }
}

}  // namespace
}  // namespace kelvane
