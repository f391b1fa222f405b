// SPDX-License-Identifier: Apache-2.0
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kelvane/numbers/internal/formatter.h"
#include "kelvane/numbers/number_format.h"
#include "kelvane/testing/number_symbols.h"

namespace kelvane {
namespace {

using platform::NumberSymbols;
using testing::Dec;
using testing::EnglishSymbols;
using testing::MakeFormatter;
using testing::Utf16;
using testing::Utf8;

NumberOptions Options(NumberStyle style, int digits = -1) {
  NumberOptions options;
  options.style = style;
  options.digits = digits;
  return options;
}

// French: narrow no-break spaces between groups and before the percent sign.
NumberSymbols FrenchSymbols() {
  NumberSymbols s = EnglishSymbols();
  s.decimal = s.currency_decimal = u",";
  s.group = s.currency_group = u"\u202F";
  s.percent_affixes = testing::Implicit(u"", u"\u202F%");
  s.compact = {{3, 1, platform::PluralCategory::kOther, {u"", u"\u00A0k"}},
               {6, 1, platform::PluralCategory::kOther, {u"", u"\u00A0M"}}};
  return s;
}

// Egyptian Arabic digits and separators.
NumberSymbols ArabicSymbols() {
  NumberSymbols s = EnglishSymbols();
  for (int d = 0; d < 10; ++d) s.digits[d] = std::u16string(1, static_cast<char16_t>(0x0660 + d));
  s.decimal = s.currency_decimal = u"\u066B";
  s.group = s.currency_group = u"\u066C";
  s.minus = u"\u061C-";
  s.decimal_affixes = testing::Implicit(u"", u"", s.minus);
  return s;
}

const internal::MoneyText& Dollars() {
  static const internal::MoneyText money{"USD", 2, u"$", testing::Implicit(u"$", u""), u".", u","};
  return money;
}

// Swiss francs with the Swiss apostrophe between groups.
const internal::MoneyText& Francs() {
  static const internal::MoneyText money{
      "CHF", 2, u"CHF", {{u"CHF\u00A0", u""}, {u"CHF-", u""}}, u".", u"\u2019"};
  return money;
}

std::string Read(const NumberParse& parse) {
  if (parse.value) return parse.value->ToString();
  return std::string(NumberParseErrorText(parse.error)) + " at " + std::to_string(parse.position);
}

// What Format writes reads back as the value it shows: the value rounded to the digits shown
// for fixed digits, and for compact quantities a value that writes the same text again.
TEST(NumberParse, ReadsBackWhatItWrites) {
  std::mt19937_64 random(20240611);
  std::uniform_int_distribution<int> magnitude(-6, 12);
  std::uniform_real_distribution<double> unit(1, 10);
  const NumberSymbols english = EnglishSymbols();
  const NumberSymbols french = FrenchSymbols();
  const NumberSymbols arabic = ArabicSymbols();
  NumberSymbols indian = EnglishSymbols();
  indian.secondary_grouping = 2;
  NumberSymbols swiss = EnglishSymbols();
  swiss.group = swiss.currency_group = u"\u2019";
  const struct {
    const NumberSymbols* symbols;
    NumberStyle style;
    const internal::MoneyText* money;
  } formats[] = {
      {&english, NumberStyle::kPrice, nullptr},    {&indian, NumberStyle::kChange, nullptr},
      {&french, NumberStyle::kPercent, nullptr},   {&arabic, NumberStyle::kPrice, nullptr},
      {&english, NumberStyle::kCompact, nullptr},  {&french, NumberStyle::kCompact, nullptr},
      {&english, NumberStyle::kMoney, &Dollars()}, {&swiss, NumberStyle::kMoney, &Francs()},
  };
  for (const auto& format : formats) {
    const auto formatter = MakeFormatter(*format.symbols, Options(format.style), format.money);
    ASSERT_NE(formatter, nullptr);
    for (int i = 0; i < 2000; ++i) {
      const double value = (i % 2 == 0 ? 1 : -1) * unit(random) * std::pow(10, magnitude(random));
      const std::u16string text = formatter->Format(value);
      SCOPED_TRACE(Utf8(text) + " style " + std::to_string(static_cast<int>(format.style)));
      ASSERT_FALSE(text.empty());
      const NumberParse read = formatter->Parse(text);
      ASSERT_TRUE(read.value.has_value()) << Read(read);
      if (format.style == NumberStyle::kCompact) {
        EXPECT_EQ(Utf8(formatter->Format(*read.value)), Utf8(text));
      } else {
        const auto shown = Decimal::FromDouble(value, 2);
        ASSERT_TRUE(shown.has_value());
        EXPECT_EQ(read.value->ToString(), shown->ToString());
      }
    }
  }
}

TEST(NumberParse, ReadsWhatUsersType) {
  const NumberSymbols english = EnglishSymbols();
  const NumberSymbols french = FrenchSymbols();
  const NumberSymbols arabic = ArabicSymbols();
  // Bengali tells crores from thousands of crores by the space before the unit alone.
  NumberSymbols bengali = EnglishSymbols();
  bengali.compact = {{7, 1, platform::PluralCategory::kOther, {u"", u"\u00A0\u0995\u09CB"}},
                     {11, 3, platform::PluralCategory::kOther, {u"", u"\u0995\u09CB"}}};
  NumberOptions thirty_seconds = Options(NumberStyle::kPrice);
  thirty_seconds.tick = Dec("0.015625");
  thirty_seconds.fractional = true;
  const struct {
    const NumberSymbols* symbols;
    NumberOptions options;
    const internal::MoneyText* money;
    std::string text;
    std::string value;
  } rows[] = {
      {&english, Options(NumberStyle::kPrice), nullptr, "1,234.5", "1234.5"},
      {&english, Options(NumberStyle::kPrice), nullptr, "1234,567.25", "1234567.25"},
      {&english, Options(NumberStyle::kPrice), nullptr, " \u00A0-.5\u202F ", "-0.5"},
      {&english, Options(NumberStyle::kPrice), nullptr, "+7.", "7"},
      {&english, Options(NumberStyle::kPrice), nullptr, "0012.3400", "12.3400"},
      {&english, Options(NumberStyle::kPrice), nullptr, "-9223372036854775808",
       "-9223372036854775808"},
      {&english, Options(NumberStyle::kPercent), nullptr, "12.5%", "12.5"},
      {&english, Options(NumberStyle::kPercent), nullptr, "-12.5", "-12.5"},
      {&english, Options(NumberStyle::kCompact), nullptr, "1.2K", "1200"},
      {&english, Options(NumberStyle::kCompact), nullptr, "-1.2345M", "-1234500"},
      {&english, Options(NumberStyle::kCompact), nullptr, "1.23456789K", "1234.56789"},
      {&english, Options(NumberStyle::kCompact), nullptr, "999", "999"},
      {&english, Options(NumberStyle::kMoney), &Dollars(), "$1,234.50", "1234.50"},
      {&english, Options(NumberStyle::kMoney), &Dollars(), "-$12", "-12"},
      {&english, Options(NumberStyle::kMoney), &Dollars(), "$ -12", "-12"},
      {&english, Options(NumberStyle::kMoney), &Dollars(), "12.50$", "12.50"},
      {&english, Options(NumberStyle::kMoney), &Dollars(), "12.50 usd", "12.50"},
      {&english, Options(NumberStyle::kMoney), &Dollars(), "USD12", "12"},
      {&english, Options(NumberStyle::kMoney), &Dollars(), "12", "12"},
      {&english, Options(NumberStyle::kMoney), &Francs(), "CHF 1'234.50", "1234.50"},
      {&english, Options(NumberStyle::kMoney), &Francs(), "CHF-1\u2019234.50", "-1234.50"},
      {&french, Options(NumberStyle::kPrice), nullptr, "1 234,5", "1234.5"},
      {&french, Options(NumberStyle::kPercent), nullptr, "-1 234,5 %", "-1234.5"},
      {&french, Options(NumberStyle::kCompact), nullptr, "1,5 k", "1500"},
      {&arabic, Options(NumberStyle::kPrice), nullptr,
       "\u061C-\u0661\u066C\u0662\u0663\u0664\u066B\u0665", "-1234.5"},
      {&arabic, Options(NumberStyle::kPrice), nullptr, "1\u066C234\u066B5", "1234.5"},
      {&bengali, Options(NumberStyle::kCompact), nullptr, "347 \u0995\u09CB", "3470000000"},
      {&bengali, Options(NumberStyle::kCompact), nullptr, "834\u0995\u09CB", "834000000000"},
      {&english, thirty_seconds, nullptr, "-1,099-16+", "-1099.515625"},
      {&english, thirty_seconds, nullptr, "99.5", "99.5"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const auto formatter = MakeFormatter(*row.symbols, row.options, row.money);
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(Read(formatter->Parse(Utf16(row.text))), row.value);
  }
}

TEST(NumberParse, RefusesWithTheErrorAndWhereItStands) {
  const NumberSymbols english = EnglishSymbols();
  const NumberSymbols arabic = ArabicSymbols();
  NumberOptions thirty_seconds = Options(NumberStyle::kPrice);
  thirty_seconds.tick = Dec("0.0078125");
  thirty_seconds.fractional = true;
  NumberOptions whole_thirty_seconds = thirty_seconds;
  whole_thirty_seconds.tick = Dec("0.03125");
  using E = NumberParseError;
  const struct {
    const NumberSymbols* symbols;
    NumberOptions options;
    const internal::MoneyText* money;
    std::u16string text;
    E error;
    std::size_t position;
  } rows[] = {
      {&english, Options(NumberStyle::kPrice), nullptr, u"", E::kEmpty, 0},
      {&english, Options(NumberStyle::kPrice), nullptr, u" \u00A0 ", E::kEmpty, 0},
      {&english, Options(NumberStyle::kPrice), nullptr, u"12,34", E::kMisplacedGrouping, 2},
      {&english, Options(NumberStyle::kPrice), nullptr, u"1,2345", E::kMisplacedGrouping, 1},
      {&english, Options(NumberStyle::kPrice), nullptr, u",123", E::kMisplacedGrouping, 0},
      {&english, Options(NumberStyle::kPrice), nullptr, u"1,,234", E::kMisplacedGrouping, 1},
      {&english, Options(NumberStyle::kPrice), nullptr, u"1,234,", E::kMisplacedGrouping, 5},
      {&english, Options(NumberStyle::kPrice), nullptr, u"1.234,5", E::kMisplacedGrouping, 5},
      {&english, Options(NumberStyle::kPrice), nullptr, u"1.2.3", E::kUnexpected, 3},
      {&english, Options(NumberStyle::kPrice), nullptr, u"12a", E::kUnexpected, 2},
      {&english, Options(NumberStyle::kPrice), nullptr, u"12 34", E::kUnexpected, 3},
      {&english, Options(NumberStyle::kPrice), nullptr, u"--12", E::kUnexpected, 1},
      {&english, Options(NumberStyle::kPrice), nullptr, u"12-", E::kUnexpected, 2},
      {&english, Options(NumberStyle::kPrice), nullptr, u"12%", E::kUnexpected, 2},
      {&english, Options(NumberStyle::kPrice), nullptr, u"1e5", E::kUnexpected, 1},
      {&english, Options(NumberStyle::kPrice), nullptr, u"-", E::kMissingDigits, 1},
      {&english, Options(NumberStyle::kPrice), nullptr, u"- .", E::kMissingDigits, 2},
      {&english, Options(NumberStyle::kPrice), nullptr, u"9223372036854775808", E::kTooManyDigits,
       0},
      {&english, Options(NumberStyle::kPrice), nullptr, u"99999999999999999999", E::kTooManyDigits,
       18},
      {&english, Options(NumberStyle::kPrice), nullptr, u"0.0000000000000000001", E::kTooManyDigits,
       20},
      {&english, Options(NumberStyle::kPrice), nullptr, u"12\u0663", E::kUnexpected, 2},
      {&english, Options(NumberStyle::kPercent), nullptr, u"12%%", E::kUnexpected, 3},
      {&english, Options(NumberStyle::kCompact), nullptr, u"1.2KK", E::kUnexpected, 4},
      {&english, Options(NumberStyle::kCompact), nullptr, u"K", E::kUnexpected, 0},
      {&english, Options(NumberStyle::kCompact), nullptr, u"9300000000T", E::kTooManyDigits, 0},
      {&english, Options(NumberStyle::kMoney), &Dollars(), u"\u20AC12", E::kWrongCurrency, 0},
      {&english, Options(NumberStyle::kMoney), &Dollars(), u"EUR 12", E::kWrongCurrency, 0},
      {&english, Options(NumberStyle::kMoney), &Dollars(), u"12 EUR", E::kWrongCurrency, 3},
      {&english, Options(NumberStyle::kMoney), &Dollars(), u"US$12", E::kWrongCurrency, 0},
      {&english, Options(NumberStyle::kMoney), &Dollars(), u"$$12", E::kUnexpected, 1},
      {&english, Options(NumberStyle::kMoney), &Dollars(), u"$", E::kMissingDigits, 1},
      {&english, Options(NumberStyle::kPrice), nullptr, u"$12", E::kUnexpected, 0},
      {&arabic, Options(NumberStyle::kPrice), nullptr, u"1234.5", E::kUnexpected, 4},
      {&english, thirty_seconds, nullptr, u"99-32", E::kBadFraction, 3},
      {&english, thirty_seconds, nullptr, u"99-1", E::kBadFraction, 3},
      {&english, thirty_seconds, nullptr, u"99-163", E::kBadFraction, 5},
      {&english, thirty_seconds, nullptr, u"99-169", E::kBadFraction, 5},
      {&english, whole_thirty_seconds, nullptr, u"99-16+", E::kBadFraction, 5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.text));
    const auto formatter = MakeFormatter(*row.symbols, row.options, row.money);
    ASSERT_NE(formatter, nullptr);
    const NumberParse read = formatter->Parse(row.text);
    EXPECT_EQ(read.value, std::nullopt);
    EXPECT_EQ(read.error, row.error) << NumberParseErrorText(read.error);
    EXPECT_EQ(read.position, row.position);
  }
}

TEST(NumberParse, RefusesHostileTextAtOnce) {
  const NumberSymbols english = EnglishSymbols();
  const auto price = MakeFormatter(english, Options(NumberStyle::kPrice));
  const auto money = MakeFormatter(english, Options(NumberStyle::kMoney), &Dollars());
  const auto arabic = MakeFormatter(ArabicSymbols(), Options(NumberStyle::kPrice));
  ASSERT_NE(price, nullptr);
  ASSERT_NE(money, nullptr);
  ASSERT_NE(arabic, nullptr);
  std::u16string grouped = u"1";
  for (int i = 0; i < 10000; ++i) grouped += u",1";
  std::u16string fine_groups = u"1";
  for (int i = 0; i < 10000; ++i) fine_groups += u",234";
  using E = NumberParseError;
  const struct {
    const char* why;
    std::u16string text;
    E error;
    std::size_t position;
  } rows[] = {
      {"10 KB of digits", std::u16string(10240, u'7'), E::kTooManyDigits, 19},
      {"10 KB of fraction digits", u"0." + std::u16string(10240, u'7'), E::kTooManyDigits, 20},
      {"10,000 group separators", grouped, E::kMisplacedGrouping, 1},
      {"10,000 groups in place", fine_groups, E::kTooManyDigits, 26},
      {"a lone surrogate", std::u16string(u"12") + char16_t{0xD800}, E::kUnexpected, 2},
      {"an embedded NUL",
       std::u16string(u"12\0"
                      u"34",
                      5),
       E::kUnexpected, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    const NumberParse read = price->Parse(row.text);
    EXPECT_EQ(read.value, std::nullopt);
    EXPECT_EQ(read.error, row.error) << NumberParseErrorText(read.error);
    EXPECT_EQ(read.position, row.position);
  }
  // UTF-8: positions count bytes; bytes that are not UTF-8 are refused where they stand.
  const struct {
    const NumberFormatter* formatter;
    std::string text;
    E error;
    std::size_t position;
  } bytes[] = {
      {price.get(), "12\xFF", E::kUnexpected, 2},
      {price.get(), "1\xC0\xB2", E::kUnexpected, 1},      // an overlong '2'
      {price.get(), "1\xED\xA0\x80", E::kUnexpected, 1},  // a surrogate
      {money.get(),
       "\xE2\x82\xAC"
       "12",
       E::kWrongCurrency, 0},
      {money.get(), "12 \xE2\x82\xAC", E::kWrongCurrency, 3},
      {arabic.get(), "\xD9\xA1\xD9\xA2x", E::kUnexpected, 4},
      {price.get(), std::string(300, '1'), E::kTooManyDigits, 19},
  };
  for (const auto& row : bytes) {
    SCOPED_TRACE(row.text.substr(0, 20));
    const NumberParse read = row.formatter->Parse(std::string_view(row.text));
    EXPECT_EQ(read.value, std::nullopt);
    EXPECT_EQ(read.error, row.error) << NumberParseErrorText(read.error);
    EXPECT_EQ(read.position, row.position);
  }
  EXPECT_EQ(Read(money->Parse(std::string_view("\xE2\x80\xAF$1,234.50 "))), "1234.50");
}

}  // namespace
}  // namespace kelvane
