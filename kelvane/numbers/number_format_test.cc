// SPDX-License-Identifier: Apache-2.0
#include "kelvane/numbers/number_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "kelvane/numbers/internal/formatter.h"
#include "kelvane/testing/number_symbols.h"

namespace kelvane {
namespace {

using platform::NumberSymbols;
using platform::PluralCategory;
using testing::Dec;
using testing::EnglishSymbols;
using testing::MakeFormatter;
using testing::Utf8;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

NumberOptions Options(NumberStyle style, int digits = -1) {
  NumberOptions options;
  options.style = style;
  options.digits = digits;
  return options;
}

std::string Show(const NumberFormatter& formatter, Decimal value) {
  return Utf8(formatter.Format(value));
}

// Indian grouping: the first group of three, then twos.
NumberSymbols IndianSymbols() {
  NumberSymbols s = EnglishSymbols();
  s.secondary_grouping = 2;
  return s;
}

// Spanish: a decimal comma, and 1234 written whole.
NumberSymbols SpanishSymbols() {
  NumberSymbols s = EnglishSymbols();
  s.decimal = s.currency_decimal = u",";
  s.group = s.currency_group = u".";
  s.minimum_grouping_digits = 2;
  return s;
}

// Egyptian Arabic: Arabic-Indic digits and separators, a minus sign with its direction mark.
NumberSymbols ArabicSymbols() {
  NumberSymbols s = EnglishSymbols();
  for (int d = 0; d < 10; ++d) s.digits[d] = std::u16string(1, static_cast<char16_t>(0x0660 + d));
  s.decimal = s.currency_decimal = u"\u066B";
  s.group = s.currency_group = u"\u066C";
  s.minus = u"\u061C-";
  s.plus = u"\u061C+";
  s.decimal_affixes = testing::Implicit(u"", u"", s.minus);
  return s;
}

TEST(NumberFormat, GroupsAsTheLocaleDoes) {
  NumberSymbols swiss = EnglishSymbols();
  swiss.group = u"\u2019";
  NumberSymbols ungrouped = EnglishSymbols();
  ungrouped.primary_grouping = 0;
  const NumberSymbols english = EnglishSymbols();
  const NumberSymbols indian = IndianSymbols();
  const NumberSymbols spanish = SpanishSymbols();
  const NumberSymbols arabic = ArabicSymbols();
  const struct {
    const NumberSymbols* symbols;
    const char* value;
    int digits;
    bool grouping;
    std::string expected;
  } rows[] = {
      {&english, "999", 2, true, "999.00"},
      {&english, "1000", 2, true, "1,000.00"},
      {&english, "1234567.891", 2, true, "1,234,567.89"},
      {&english, "-1234", 0, true, "-1,234"},
      {&english, "0.5", 2, true, "0.50"},
      {&english, "9223372036854775807", 2, true, "9,223,372,036,854,775,807.00"},
      {&english, "-9223372036854775808", 0, true, "-9,223,372,036,854,775,808"},
      {&english, "1234567", 2, false, "1234567.00"},
      {&ungrouped, "1234567", 0, true, "1234567"},
      {&indian, "100", 0, true, "100"},
      {&indian, "1000", 0, true, "1,000"},
      {&indian, "1234567.89", 2, true, "12,34,567.89"},
      {&indian, "123456789", 0, true, "12,34,56,789"},
      {&spanish, "1234", 2, true, "1234,00"},
      {&spanish, "12345", 2, true, "12.345,00"},
      {&spanish, "1234567", 0, true, "1.234.567"},
      {&swiss, "1234.5", 2, true, "1\u2019234.50"},
      {&arabic, "-1234.5", 2, true, "\u061C-\u0661\u066C\u0662\u0663\u0664\u066B\u0665\u0660"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.value) + " at " + std::to_string(row.digits));
    NumberOptions options = Options(NumberStyle::kPrice, row.digits);
    options.grouping = row.grouping;
    const auto formatter = MakeFormatter(*row.symbols, options);
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(Show(*formatter, Dec(row.value)), row.expected);
  }
}

TEST(NumberFormat, RoundsEachModeAtATieAndToTheTick) {
  const Rounding modes[] = {Rounding::kHalfEven, Rounding::kHalfUp, Rounding::kTowardZero,
                            Rounding::kFloor, Rounding::kCeiling};
  const struct {
    const char* value;
    const char* tick;                     // empty: two digits
    std::array<std::string, 5> expected;  // in the order of `modes`
  } rows[] = {
      {"2.345", "", {"2.34", "2.35", "2.34", "2.34", "2.35"}},
      {"-2.345", "", {"-2.34", "-2.35", "-2.34", "-2.35", "-2.34"}},
      {"2.355", "", {"2.36", "2.36", "2.35", "2.35", "2.36"}},
      {"2.3449", "", {"2.34", "2.34", "2.34", "2.34", "2.35"}},
      {"1.125", "0.25", {"1.00", "1.25", "1.00", "1.00", "1.25"}},
      {"1.375", "0.25", {"1.50", "1.50", "1.25", "1.25", "1.50"}},
      {"-1.125", "0.25", {"-1.00", "-1.25", "-1.00", "-1.25", "-1.00"}},
      {"1.23455", "0.0001", {"1.2346", "1.2346", "1.2345", "1.2345", "1.2346"}},
      {"1.23465", "0.0001", {"1.2346", "1.2347", "1.2346", "1.2346", "1.2347"}},
      {"7", "0.05", {"7.00", "7.00", "7.00", "7.00", "7.00"}},
  };
  const NumberSymbols english = EnglishSymbols();
  for (const auto& row : rows) {
    for (int mode = 0; mode < 5; ++mode) {
      SCOPED_TRACE(std::string(row.value) + " tick " + row.tick + " mode " + std::to_string(mode));
      NumberOptions options = Options(NumberStyle::kPrice);
      if (*row.tick != '\0') options.tick = Dec(row.tick);
      options.rounding = modes[mode];
      const auto formatter = MakeFormatter(english, options);
      ASSERT_NE(formatter, nullptr);
      EXPECT_EQ(Show(*formatter, Dec(row.value)), row.expected[mode]);
      // A double takes the same way through its shortest decimal.
      EXPECT_EQ(Utf8(formatter->Format(std::stod(row.value))), row.expected[mode]);
    }
  }
}

TEST(NumberFormat, WritesAndReadsThirtySeconds) {
  const struct {
    const char* tick;
    const char* value;
    std::string text;
    const char* read;  // what the text reads back as, at the tick's scale
  } rows[] = {
      {"0.03125", "99.5", "99-16", "99.50000"},
      {"0.03125", "99.51", "99-16", "99.50000"},
      {"0.03125", "99.99", "100-00", "100.00000"},
      {"0.03125", "0.03125", "0-01", "0.03125"},
      {"0.03125", "-99.5", "-99-16", "-99.50000"},
      {"0.03125", "1099.96875", "1,099-31", "1099.96875"},
      {"0.015625", "99.515625", "99-16+", "99.515625"},
      {"0.015625", "99.5", "99-16", "99.500000"},
      {"0.0078125", "99.5078125", "99-162", "99.5078125"},
      {"0.0078125", "99.515625", "99-16+", "99.5156250"},
      {"0.0078125", "99.5234375", "99-166", "99.5234375"},
      {"0.00390625", "99.50390625", "99-161", "99.50390625"},
      {"0.00390625", "99.515625", "99-16+", "99.51562500"},
      {"0.00390625", "99.52734375", "99-167", "99.52734375"},
  };
  const NumberSymbols english = EnglishSymbols();
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.value) + " by " + row.tick);
    NumberOptions options = Options(NumberStyle::kPrice);
    options.tick = Dec(row.tick);
    options.fractional = true;
    const auto formatter = MakeFormatter(english, options);
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(Show(*formatter, Dec(row.value)), row.text);
    const NumberParse read = formatter->Parse(testing::Utf16(row.text));
    ASSERT_TRUE(read.value.has_value()) << NumberParseErrorText(read.error);
    EXPECT_EQ(read.value->ToString(), row.read);
  }
}

TEST(NumberFormat, SignsAsTheSignDisplaySays) {
  const NumberSymbols english = EnglishSymbols();
  const std::optional<SignDisplay> unset;
  const struct {
    NumberStyle style;
    std::optional<SignDisplay> sign;
    const char* value;
    std::string expected;
  } rows[] = {
      {NumberStyle::kChange, unset, "0.35", "+0.35"},
      {NumberStyle::kChange, unset, "-1.2", "-1.20"},
      {NumberStyle::kChange, unset, "0", "0.00"},
      {NumberStyle::kChange, unset, "0.004", "0.00"},  // rounds to zero: no sign
      {NumberStyle::kChange, unset, "-0.004", "0.00"},
      {NumberStyle::kChange, SignDisplay::kAlways, "0", "+0.00"},
      {NumberStyle::kChange, SignDisplay::kAlways, "0.004", "+0.00"},
      {NumberStyle::kChange, SignDisplay::kAlways, "-0.004", "-0.00"},
      {NumberStyle::kChange, SignDisplay::kNegative, "1", "1.00"},
      {NumberStyle::kPrice, unset, "-0.004", "0.00"},
      {NumberStyle::kPrice, unset, "-0.006", "-0.01"},
      {NumberStyle::kPrice, SignDisplay::kExceptZero, "3", "+3.00"},
      {NumberStyle::kPercent, unset, "1.25", "+1.25%"},
      {NumberStyle::kPercent, unset, "-0.5", "-0.50%"},
      {NumberStyle::kPercent, unset, "0", "0.00%"},
      {NumberStyle::kPercent, SignDisplay::kNegative, "1.25", "1.25%"},
      {NumberStyle::kCompact, unset, "-1234", "-1.2K"},
      {NumberStyle::kCompact, SignDisplay::kAlways, "1234", "+1.2K"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.value) + " style " + std::to_string(static_cast<int>(row.style)));
    NumberOptions options = Options(row.style);
    options.sign = row.sign;
    const auto formatter = MakeFormatter(english, options);
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(Show(*formatter, Dec(row.value)), row.expected);
  }
}

// One for exactly one, other for the rest: enough to tell forms by category apart.
class OneIsOne final : public platform::PluralRules {
 public:
  PluralCategory Select(double value) const noexcept override {
    return value == 1 ? PluralCategory::kOne : PluralCategory::kOther;
  }
};

TEST(NumberFormat, CompactRoundsCarriesAndChoosesTheForm) {
  const NumberSymbols english = EnglishSymbols();
  // Japanese-like: thousands written in full (CLDR's "0"), then units of ten thousand; and a
  // form that differs by plural category.
  NumberSymbols japanese = EnglishSymbols();
  japanese.compact = {{3, 0, PluralCategory::kOther, {}},
                      {4, 1, PluralCategory::kOther, {u"", u"\u4E07"}},
                      {5, 2, PluralCategory::kOther, {u"", u"\u4E07"}},
                      {6, 1, PluralCategory::kOne, {u"", u" million"}},
                      {6, 1, PluralCategory::kOther, {u"", u" millions"}}};
  const struct {
    const NumberSymbols* symbols;
    const char* value;
    int digits;
    std::string expected;
  } rows[] = {
      {&english, "0", -1, "0"},
      {&english, "0.001234", -1, "0.0012"},
      {&english, "999.4", -1, "999"},
      {&english, "999.9", -1, "1K"},
      {&english, "1234", -1, "1.2K"},
      {&english, "1250", -1, "1.2K"},  // a tie, to even
      {&english, "1350", -1, "1.4K"},
      {&english, "12345", -1, "12K"},
      {&english, "123456", -1, "123K"},
      {&english, "99999", -1, "100K"},
      {&english, "999999", -1, "1M"},
      {&english, "999950", -1, "1M"},
      {&english, "-999999", -1, "-1M"},
      {&english, "1000000000000000000", -1, "1,000,000T"},
      {&english, "1234", 2, "1.23K"},
      {&english, "999999", 2, "1.00M"},
      {&english, "0", 2, "0.00"},
      {&japanese, "1234", -1, "1234"},
      {&japanese, "12345", -1, "1.2\u4E07"},
      {&japanese, "9999.9", -1, "1\u4E07"},
      {&japanese, "1000000", -1, "1 million"},
      {&japanese, "2000000", -1, "2 millions"},
      {&japanese, "1200000", -1, "1.2 millions"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.value) + " at " + std::to_string(row.digits));
    const auto formatter = MakeFormatter(*row.symbols, Options(NumberStyle::kCompact, row.digits),
                                         nullptr, std::make_shared<OneIsOne>());
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(Show(*formatter, Dec(row.value)), row.expected);
  }
}

TEST(NumberFormat, MoneyTakesItsCurrencyDigitsAndPatterns) {
  const NumberSymbols english = EnglishSymbols();
  NumberSymbols dutch = SpanishSymbols();
  dutch.minimum_grouping_digits = 1;
  NumberSymbols swiss = EnglishSymbols();
  swiss.group = swiss.currency_group = u"\u2019";
  const internal::MoneyText dollars{"USD", 2, u"$", testing::Implicit(u"$", u""), u".", u","};
  const internal::MoneyText yen{"JPY", 0, u"\u00A5", testing::Implicit(u"\u00A5", u""), u".", u","};
  const internal::MoneyText dinars{"BHD", 3,   u"BHD", testing::Implicit(u"BHD\u00A0", u""),
                                   u".",  u","};
  // Dutch money has a negative pattern of its own: the sign after the symbol.
  const internal::MoneyText euros{
      "EUR", 2, u"\u20AC", {{u"\u20AC\u00A0", u""}, {u"\u20AC\u00A0-", u""}}, u",", u"."};
  const internal::MoneyText francs{"CHF", 2,        u"CHF", {{u"CHF\u00A0", u""}, {u"CHF-", u""}},
                                   u".",  u"\u2019"};
  const std::optional<SignDisplay> unset;
  const struct {
    const NumberSymbols* symbols;
    const internal::MoneyText* money;
    std::optional<SignDisplay> sign;
    int digits;
    const char* value;
    std::string expected;
  } rows[] = {
      {&english, &dollars, unset, -1, "1234.5", "$1,234.50"},
      {&english, &dollars, unset, -1, "-1234.5", "-$1,234.50"},
      {&english, &dollars, unset, 4, "1.23456", "$1.2346"},
      {&english, &yen, unset, -1, "1234.5", "\u00A51,234"},
      {&english, &dinars, unset, -1, "1.2345", "BHD\u00A01.234"},
      {&dutch, &euros, unset, -1, "1234.5", "\u20AC\u00A01.234,50"},
      {&dutch, &euros, unset, -1, "-1", "\u20AC\u00A0-1,00"},
      {&dutch, &euros, SignDisplay::kAlways, -1, "1", "\u20AC\u00A0+1,00"},
      {&swiss, &francs, unset, -1, "-1234.5", "CHF-1\u2019234.50"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.money->code) + " " + row.value);
    NumberOptions options = Options(NumberStyle::kMoney, row.digits);
    options.sign = row.sign;
    const auto formatter = MakeFormatter(*row.symbols, options, row.money);
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(Show(*formatter, Dec(row.value)), row.expected);
  }
}

TEST(NumberFormat, ReportsWhatDoesNotFitOrLeavesTheRange) {
  const NumberSymbols english = EnglishSymbols();
  const auto price = MakeFormatter(english, Options(NumberStyle::kPrice));
  ASSERT_NE(price, nullptr);
  std::array<char16_t, NumberFormatter::kMaxUnits> text{};
  // "1,234.50" is 8 units: 7 are too few, 8 are enough.
  EXPECT_EQ(price->Format(Dec("1234.5"), std::span<char16_t>(text.data(), 7)), 0u);
  EXPECT_EQ(price->Format(Dec("1234.5"), std::span<char16_t>(text.data(), 8)), 8u);
  EXPECT_EQ(price->Format(1234.5, std::span<char16_t>(text.data(), 0)), 0u);
  // The longest number there is fits kMaxUnits.
  const auto widest = MakeFormatter(IndianSymbols(), Options(NumberStyle::kChange, 18));
  ASSERT_NE(widest, nullptr);
  const std::string longest = "-92,23,37,20,36,85,47,75,808.000000000000000000";
  EXPECT_EQ(Show(*widest, *Decimal::Make(kMin, 0)), longest);
  EXPECT_EQ(widest->Format(*Decimal::Make(kMin, 0), text), longest.size());
  // Doubles that are no number, or past the decimal's range.
  EXPECT_EQ(price->Format(std::numeric_limits<double>::quiet_NaN(), text), 0u);
  EXPECT_EQ(price->Format(-std::numeric_limits<double>::infinity(), text), 0u);
  EXPECT_EQ(price->Format(1e300, text), 0u);
  EXPECT_EQ(price->Format(std::numeric_limits<double>::quiet_NaN()), u"");
  // Rounding up to the tick past the largest mantissa.
  NumberOptions ticked = Options(NumberStyle::kPrice);
  ticked.tick = Dec("1000");
  ticked.rounding = Rounding::kCeiling;
  const auto coarse = MakeFormatter(english, ticked);
  ASSERT_NE(coarse, nullptr);
  EXPECT_EQ(coarse->Format(*Decimal::Make(kMax, 0), text), 0u);
  EXPECT_EQ(Show(*coarse, Dec("1")), "1,000");
}

TEST(NumberFormat, RefusesOptionsThatDoNotHoldTogether) {
  const NumberSymbols english = EnglishSymbols();
  NumberSymbols verbose = EnglishSymbols();
  verbose.decimal_affixes = testing::Implicit(std::u16string(120, u'x'), u"");
  const auto with = [](auto change) {
    NumberOptions options;
    change(options);
    return options;
  };
  const internal::MoneyText dollars{"USD", 2, u"$", testing::Implicit(u"$", u""), u".", u","};
  const struct {
    const char* why;
    NumberOptions options;
    const NumberSymbols* symbols;
    const internal::MoneyText* money = nullptr;
  } rows[] = {
      {"digits past 18", with([](auto& o) { o.digits = 19; }), &english},
      {"digits below -1", with([](auto& o) { o.digits = -2; }), &english},
      {"a negative tick", with([](auto& o) { o.tick = Dec("-0.25"); }), &english},
      {"32nds without a tick", with([](auto& o) { o.fractional = true; }), &english},
      {"32nds of a tenth", with([](auto& o) {
         o.fractional = true;
         o.tick = Dec("0.1");
       }),
       &english},
      {"32nds with digits", with([](auto& o) {
         o.fractional = true;
         o.tick = Dec("0.03125");
         o.digits = 2;
       }),
       &english},
      {"32nds of a percentage", with([](auto& o) {
         o.fractional = true;
         o.tick = Dec("0.03125");
         o.style = NumberStyle::kPercent;
       }),
       &english},
      {"a compact tick", with([](auto& o) {
         o.style = NumberStyle::kCompact;
         o.tick = Dec("0.25");
       }),
       &english},
      {"money without money", with([](auto& o) { o.style = NumberStyle::kMoney; }), &english},
      {"a two-letter currency", with([](auto& o) {
         o.style = NumberStyle::kMoney;
         o.currency = "US";
       }),
       &english, &dollars},
      {"a currency of digits", with([](auto& o) {
         o.style = NumberStyle::kMoney;
         o.currency = "US1";
       }),
       &english, &dollars},
      {"no style", with([](auto& o) { o.style = static_cast<NumberStyle>(9); }), &english},
      {"texts past kMaxUnits", NumberOptions{}, &verbose},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(MakeFormatter(*row.symbols, row.options, row.money), nullptr);
  }
  // The same options with a currency of three letters are fine.
  NumberOptions money;
  money.style = NumberStyle::kMoney;
  money.currency = "usd";
  EXPECT_NE(MakeFormatter(english, money, &dollars), nullptr);
}

}  // namespace
}  // namespace kelvane
