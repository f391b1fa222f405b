// SPDX-License-Identifier: Apache-2.0
#include "kelvane/numbers/number_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>

#include "kelvane/testing/number_symbols.h"

namespace kelvane {
namespace {

using platform::NumberSymbols;
using platform::PluralCategory;
using testing::Dec;
using testing::EnglishSymbols;
using testing::MakeFormatter;
using testing::Utf8;
using S = NumberStyle;

using testing::EnglishWith;

const NumberSymbols kEnglish = EnglishSymbols();
const NumberSymbols kIndian = EnglishWith([](NumberSymbols& s) { s.secondary_grouping = 2; });

std::string Show(const NumberSymbols& symbols, const NumberOptions& options, const char* value,
                 const internal::MoneyText* money = nullptr,
                 std::shared_ptr<const platform::PluralRules> plurals = nullptr) {
  const auto formatter = MakeFormatter(symbols, options, money, std::move(plurals));
  if (formatter == nullptr) return "<no formatter>";
  return Utf8(formatter->Format(Dec(value)));
}

TEST(NumberFormat, RoundsEachModeAtATieAndToTheTick) {
  const Rounding modes[] = {Rounding::kHalfEven, Rounding::kHalfUp, Rounding::kTowardZero,
                            Rounding::kFloor, Rounding::kCeiling};
  const struct {
    const char* value;
    const char* tick;                     // "0": two digits
    std::array<std::string, 5> expected;  // in the order of `modes`
  } rows[] = {
      {"2.345", "0", {"2.34", "2.35", "2.34", "2.34", "2.35"}},
      {"-2.345", "0", {"-2.34", "-2.35", "-2.34", "-2.35", "-2.34"}},
      {"2.355", "0", {"2.36", "2.36", "2.35", "2.35", "2.36"}},
      {"2.3449", "0", {"2.34", "2.34", "2.34", "2.34", "2.35"}},
      {"1.125", "0.25", {"1.00", "1.25", "1.00", "1.00", "1.25"}},
      {"1.375", "0.25", {"1.50", "1.50", "1.25", "1.25", "1.50"}},
      {"-1.125", "0.25", {"-1.00", "-1.25", "-1.00", "-1.25", "-1.00"}},
      {"1.23455", "0.0001", {"1.2346", "1.2346", "1.2345", "1.2345", "1.2346"}},
      {"1.23465", "0.0001", {"1.2346", "1.2347", "1.2346", "1.2346", "1.2347"}},
  };
  for (const auto& row : rows) {
    for (int mode = 0; mode < 5; ++mode) {
      SCOPED_TRACE(std::string(row.value) + " tick " + row.tick + " mode " + std::to_string(mode));
      const auto formatter =
          MakeFormatter(kEnglish, {.tick = Dec(row.tick), .rounding = modes[mode]});
      ASSERT_NE(formatter, nullptr);
      EXPECT_EQ(Utf8(formatter->Format(Dec(row.value))), row.expected[mode]);
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
      {"0.03125", "99.51", "99-16", "99.50000"},
      {"0.03125", "99.99", "100-00", "100.00000"},
      {"0.03125", "0.03125", "0-01", "0.03125"},
      {"0.03125", "-99.5", "-99-16", "-99.50000"},
      {"0.03125", "1099.96875", "1,099-31", "1099.96875"},
      {"0.015625", "99.515625", "99-16+", "99.515625"},
      {"0.0078125", "99.5078125", "99-162", "99.5078125"},
      {"0.0078125", "99.5234375", "99-166", "99.5234375"},
      {"0.00390625", "99.50390625", "99-161", "99.50390625"},
      {"0.00390625", "99.515625", "99-16+", "99.51562500"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.value) + " by " + row.tick);
    const auto formatter = MakeFormatter(kEnglish, {.tick = Dec(row.tick), .fractional = true});
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(Utf8(formatter->Format(Dec(row.value))), row.text);
    const NumberParse read = formatter->Parse(testing::Utf16(row.text));
    ASSERT_TRUE(read.value.has_value()) << NumberParseErrorText(read.error);
    EXPECT_EQ(read.value->ToString(), row.read);
  }
}

// One for exactly one, other for the rest: enough to tell forms by category apart.
class OneIsOne final : public platform::PluralRules {
 public:
  PluralCategory Select(double value) const noexcept override {
    return value == 1 ? PluralCategory::kOne : PluralCategory::kOther;
  }
};

// How each locale groups, signs and writes compact and money texts is held against ICU in
// number_icu_test.cc, over the locales' own data; here, what no locale's data reaches.
TEST(NumberFormat, WritesWhatNoLocalesDataReaches) {
  const NumberSymbols ungrouped = EnglishWith([](NumberSymbols& s) { s.primary_grouping = 0; });
  // Japanese-like: thousands written in full (CLDR's "0"), then units of ten thousand; and a
  // form that differs by plural category.
  const NumberSymbols japanese = EnglishWith([](NumberSymbols& s) {
    s.compact = {{3, 0, PluralCategory::kOther, {}},
                 {4, 1, PluralCategory::kOther, {u"", u"\u4E07"}},
                 {5, 2, PluralCategory::kOther, {u"", u"\u4E07"}},
                 {6, 1, PluralCategory::kOne, {u"", u" million"}},
                 {6, 1, PluralCategory::kOther, {u"", u" millions"}}};
  });
  const NumberSymbols dutch = EnglishWith([](NumberSymbols& s) { s.decimal = u","; });
  const internal::MoneyText& dollars = testing::Dollars();
  // Dutch money has a negative pattern of its own: the sign after the symbol.
  const internal::MoneyText euros{
      "EUR", 2, u"\u20AC", {{u"\u20AC\u00A0", u""}, {u"\u20AC\u00A0-", u""}}, u",", u"."};
  const NumberOptions compact{.style = S::kCompact};
  const struct {
    const NumberSymbols* symbols;
    NumberOptions options;
    const char* value;
    std::string expected;
    const internal::MoneyText* money = nullptr;
  } rows[] = {
      // The ends of the range, grouping turned off, and no grouping.
      {&kEnglish, {.digits = 2}, "9223372036854775807", "9,223,372,036,854,775,807.00"},
      {&kEnglish, {.digits = 0}, "-9223372036854775808", "-9,223,372,036,854,775,808"},
      {&kEnglish, {.digits = 2, .grouping = false}, "1234567", "1234567.00"},
      {&ungrouped, {.digits = 0}, "1234567", "1234567"},
      // Sign displays asked for in place of each style's own.
      {&kEnglish, {.style = S::kChange, .sign = SignDisplay::kNegative}, "1", "1.00"},
      {&kEnglish, {.style = S::kPrice, .sign = SignDisplay::kExceptZero}, "3", "+3.00"},
      {&kEnglish, {.style = S::kPercent, .sign = SignDisplay::kNegative}, "1.25", "1.25%"},
      {&kEnglish, {.style = S::kCompact, .sign = SignDisplay::kAlways}, "1234", "+1.2K"},
      // Compact: a tie, carries, a value past the largest unit, forms chosen by plural category.
      {&kEnglish, compact, "1250", "1.2K"},
      {&kEnglish, compact, "99999", "100K"},
      {&kEnglish, compact, "-999999", "-1M"},
      {&kEnglish, compact, "1000000000000000000", "1,000,000T"},
      {&japanese, compact, "9999.9", "1\u4E07"},
      {&japanese, compact, "1000000", "1 million"},
      {&japanese, compact, "1200000", "1.2 millions"},
      // Money: digits and ticks asked for, and a plus in a pattern of its own.
      {&dutch, {.style = S::kMoney, .digits = 4}, "1.23456", "$1.2346", &dollars},
      {&dutch, {.style = S::kMoney, .tick = Dec("0.05")}, "1.23", "$1.25", &dollars},
      {&dutch,
       {.style = S::kMoney, .sign = SignDisplay::kAlways},
       "1",
       "\u20AC\u00A0+1,00",
       &euros},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.value) + " as " + row.expected);
    EXPECT_EQ(Show(*row.symbols, row.options, row.value, row.money, std::make_shared<OneIsOne>()),
              row.expected);
  }
}

TEST(NumberFormat, ReportsWhatDoesNotFitOrLeavesTheRange) {
  const auto price = MakeFormatter(kEnglish, {});
  const auto widest = MakeFormatter(kIndian, {.style = S::kChange, .digits = 18});
  const auto coarse =
      MakeFormatter(kEnglish, {.tick = Dec("1000"), .rounding = Rounding::kCeiling});
  ASSERT_THAT((std::vector{price, widest, coarse}), ::testing::Each(::testing::NotNull()));
  std::array<char16_t, NumberFormatter::kMaxUnits> text{};
  // "1,234.50" is 8 units: 7 are too few, 8 are enough.
  EXPECT_EQ(price->Format(Dec("1234.5"), std::span<char16_t>(text.data(), 7)), 0u);
  EXPECT_EQ(price->Format(Dec("1234.5"), std::span<char16_t>(text.data(), 8)), 8u);
  // The longest number there is fits kMaxUnits.
  const Decimal lowest = *Decimal::Make(std::numeric_limits<std::int64_t>::min(), 0);
  const std::string longest = "-92,23,37,20,36,85,47,75,808.000000000000000000";
  EXPECT_EQ(Utf8(widest->Format(lowest)), longest);
  EXPECT_EQ(widest->Format(lowest, text), longest.size());
  // Doubles that are no number or past the decimal's range, and rounding up past its range.
  EXPECT_EQ(price->Format(std::numeric_limits<double>::quiet_NaN(), text), 0u);
  EXPECT_EQ(price->Format(-std::numeric_limits<double>::infinity(), text), 0u);
  EXPECT_EQ(price->Format(1e300), u"");
  EXPECT_EQ(coarse->Format(Decimal::FromInteger(std::numeric_limits<std::int64_t>::max()), text),
            0u);
  EXPECT_EQ(Utf8(coarse->Format(Dec("1"))), "1,000");
}

TEST(NumberFormat, RefusesOptionsThatDoNotHoldTogether) {
  const NumberSymbols verbose = EnglishWith([](NumberSymbols& s) {
    s.decimal_affixes = testing::Implicit(std::u16string(120, u'x'), u"");
  });
  const NumberSymbols digitless = EnglishWith([](NumberSymbols& s) { s.digits[3].clear(); });
  const internal::MoneyText& dollars = testing::Dollars();
  const Decimal thirty_second = Dec("0.03125");
  const struct {
    const char* why;
    NumberOptions options;
    const NumberSymbols* symbols = &kEnglish;
  } rows[] = {
      {"digits past 18", {.digits = 19}},
      {"digits below -1", {.digits = -2}},
      {"a negative tick", {.tick = Dec("-0.25")}},
      {"32nds without a tick", {.fractional = true}},
      {"32nds of a tenth", {.tick = Dec("0.1"), .fractional = true}},
      {"32nds with digits", {.digits = 2, .tick = thirty_second, .fractional = true}},
      {"32nds of a percentage", {.style = S::kPercent, .tick = thirty_second, .fractional = true}},
      {"a compact tick", {.style = S::kCompact, .tick = Dec("0.25")}},
      {"a two-letter currency", {.style = S::kMoney, .currency = "US"}},
      {"a currency of digits", {.style = S::kMoney, .currency = "US1"}},
      {"no such style", {.style = static_cast<S>(9)}},
      {"texts past kMaxUnits", {}, &verbose},
      {"a digit missing", {}, &digitless},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(MakeFormatter(*row.symbols, row.options, &dollars), nullptr);
  }
  EXPECT_EQ(MakeFormatter(kEnglish, {.style = S::kMoney}), nullptr);  // no money given
  EXPECT_NE(MakeFormatter(kEnglish, {.style = S::kMoney, .currency = "usd"}, &dollars), nullptr);
}

}  // namespace
}  // namespace kelvane
