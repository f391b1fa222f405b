// SPDX-License-Identifier: Apache-2.0
#include "kelvane/numbers/decimal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/numbers/internal/exact_double.h"
#include "kelvane/testing/number_symbols.h"

namespace kelvane {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr Rounding kModes[] = {Rounding::kHalfEven, Rounding::kHalfUp, Rounding::kTowardZero,
                               Rounding::kFloor, Rounding::kCeiling};
constexpr const char* kModeNames[] = {"half-even", "half-up", "toward zero", "floor", "ceiling"};

// The whole value as text (the scale shows in it), or "empty".
std::string Text(const std::optional<Decimal>& d) { return d ? d->ToString() : "empty"; }

// A fixture's decimal (one that does not parse throws, failing the test).
constexpr auto Parse = &testing::Dec;

// What each mode gives, in the order of kModes; a row of one entry expects it from every mode.
using Modes = std::array<std::string_view, 5>;

template <typename Convert>
void ExpectEachMode(Convert convert, const Modes& expected) {
  for (int mode = 0; mode < 5; ++mode) {
    SCOPED_TRACE(kModeNames[mode]);
    const std::string_view want = expected[mode].empty() ? expected[0] : expected[mode];
    EXPECT_EQ(Text(convert(kModes[mode])), want);
  }
}

TEST(Decimal, ParsesAndPrintsThePlainFormOnly) {
  const struct {
    std::string_view text;
    std::int64_t mantissa;
    int scale;
    std::string_view printed;  // every digit of the scale, the most negative mantissa too
  } rows[] = {
      {"-1234.50", -123450, 2, "-1234.50"},
      {".5", 5, 1, "0.5"},
      {"+7.", 7, 0, "7"},
      {"-0.00", 0, 2, "0.00"},
      {"000000000000000000000000012.5", 125, 1, "12.5"},
      {"-9223372036854775808", kMin, 0, "-9223372036854775808"},
      {"-9.223372036854775808", kMin, 18, "-9.223372036854775808"},
      {"9223372036854775807", kMax, 0, "9223372036854775807"},
      {"-0.000000000000000001", -1, 18, "-0.000000000000000001"},
      {"0.1", 1, 1, "0.1"},
      {"9007199254740993", 9007199254740993, 0, "9007199254740993"},  // a tie past 2^53
      {"9.223372036854775807", kMax, 18, "9.223372036854775807"},
      {"123456789012345.678", 123456789012345678, 3, "123456789012345.678"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const Decimal d = Parse(row.text);
    EXPECT_EQ(std::pair(d.mantissa(), d.scale()), std::pair(row.mantissa, row.scale));
    EXPECT_EQ(d.ToString(), row.printed);
    // The double nearest the text, as the C library reads it (a tie to the even one).
    EXPECT_EQ(d.ToDouble(), std::strtod(std::string(row.text).c_str(), nullptr));
    char exact[Decimal::kMaxChars];
    char* const end = exact + row.printed.size();
    EXPECT_EQ(d.ToChars(exact, end), end);
    EXPECT_EQ(d.ToChars(exact, end - 1), nullptr);
  }
  // Spaces, grouping, exponents, doubled signs or points, 19 fraction digits, past int64.
  for (std::string_view text :
       {"", "-", ".", "-.", "1e5", " 1", "1 ", "1,000", "+-1", "--1", "1.2.3", "0x10", "1-",
        "0.0000000000000000001", "9223372036854775808", "-9223372036854775809",
        "922337203685477580.8", "12345678901234567890"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Decimal::FromString(text), std::nullopt);
  }
  EXPECT_EQ(Decimal::Make(1, -1), std::nullopt);
  EXPECT_EQ(Decimal::Make(1, 19), std::nullopt);
}

TEST(Decimal, RoundsByEachModeToAScaleOrATick) {
  const struct {
    std::string_view value;
    int scale;  // where there is no tick
    Modes expected;
    std::string_view tick = {};  // to a tick: at the larger of its scale and the value's
  } rows[] = {
      {"2.5", 0, {"2", "3", "2", "2", "3"}},
      {"3.5", 0, {"4", "4", "3", "3", "4"}},
      {"-2.5", 0, {"-2", "-3", "-2", "-3", "-2"}},
      {"-3.5", 0, {"-4", "-4", "-3", "-4", "-3"}},
      {"2.501", 0, {"3", "3", "2", "2", "3"}},  // not a tie, though its first dropped digit is 5
      {"2.500", 0, {"2", "3", "2", "2", "3"}},
      {"-0.4", 0, {"0", "0", "0", "-1", "0"}},
      {"1.245", 2, {"1.24", "1.25", "1.24", "1.24", "1.25"}},
      {"-9.223372036854775808", 0, {"-9", "-9", "-9", "-10", "-9"}},
      {"1.5", 4, {"1.5000"}},
      {"922337203685477580", 1, {"922337203685477580.0"}},
      {"922337203685477580", 2, {"empty"}},
      {"1", 19, {"empty"}},
      {"1", -1, {"empty"}},
      // To a tick; the scale goes unused.
      {"1.2345", 0, {"1.2500", "1.2500", "1.0000", "1.0000", "1.2500"}, "0.25"},
      {"-1.125", 0, {"-1.000", "-1.250", "-1.000", "-1.250", "-1.000"}, "0.25"},
      {"7", 0, {"7.0"}, "0.5"},
      {"9223372036854775807",
       0,
       {"empty", "empty", "9223372036854775800", "9223372036854775800", "empty"},
       "10"},
      {"1", 0, {"empty"}, "0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << row.value << " to scale " << row.scale << " by " << row.tick);
    const Decimal value = Parse(row.value);
    ExpectEachMode(
        [&](Rounding r) {
          return row.tick.empty() ? value.Rescale(row.scale, r)
                                  : value.RoundToTick(Parse(row.tick), r);
        },
        row.expected);
  }
  for (const auto& [value, trimmed] :
       {std::pair("1.500", "1.5"), std::pair("2.00", "2"), std::pair("0.000", "0")}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(Parse(value).Trimmed().ToString(), trimmed);
  }
}

// A tick of 0.0001 is tried through the formatter, whose doubles come here (number_format_test).
TEST(Decimal, FromDoubleRoundsTheShortestDecimalToDigitsOrATick) {
  const struct {
    double value;
    int digits;  // where there is no tick
    Modes expected;
    std::string_view tick = {};
  } rows[] = {
      {1.005, 2, {"1.00", "1.01", "1.00", "1.00", "1.01"}},
      {0.125, 2, {"0.12", "0.13", "0.12", "0.12", "0.13"}},
      {2.675, 2, {"2.68", "2.68", "2.67", "2.67", "2.68"}},
      {-2.675, 2, {"-2.68", "-2.68", "-2.67", "-2.68", "-2.67"}},
      {43210.12345, 5, {"43210.12345"}},
      {1e-7, 8, {"0.00000010"}},
      {0.30000000000000004, 18, {"0.300000000000000040"}},
      {9223372036854775e3, 0, {"9223372036854775000"}},
      {9223372036854776e3, 0, {"empty"}},
      {1e20, 0, {"empty"}},
      {-0.0, 2, {"0.00"}},
      {1e-300, 2, {"0.00", "0.00", "0.00", "0.00", "0.01"}},
      {-5e-324, 0, {"0", "0", "0", "-1", "0"}},
      {1e300, 2, {"empty"}},
      {kNaN, 2, {"empty"}},
      {-kInf, 0, {"empty"}},
      {1.5, 19, {"empty"}},
      // To a tick, at its scale; the digits go unused.
      {99.51, 0, {"99.50000", "99.50000", "99.50000", "99.50000", "99.53125"}, "0.03125"},
      {99.515625, 0, {"99.50000", "99.53125", "99.50000", "99.50000", "99.53125"}, "0.03125"},
      {-10.125, 0, {"-10.00", "-10.25", "-10.00", "-10.25", "-10.00"}, "0.25"},
      {17.5, 0, {"18", "18", "17", "17", "18"}, "1"},
      {1e-300, 0, {"0.00", "0.00", "0.00", "0.00", "0.25"}, "0.25"},
      {-0.0, 0, {"0.00"}, "0.25"},
      {1e300, 0, {"empty"}, "0.25"},
      {1.0, 0, {"empty"}, "0"},
      {1.0, 0, {"empty"}, "-0.25"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.value << " at " << row.digits << " by " << row.tick);
    ExpectEachMode(
        [&](Rounding r) {
          return row.tick.empty() ? Decimal::FromDouble(row.value, row.digits, r)
                                  : Decimal::FromDouble(row.value, Parse(row.tick), r);
        },
        row.expected);
  }
}

TEST(Decimal, ArithmeticIsExactAndRefusesToOverflow) {
  const Decimal max = Decimal::FromInteger(kMax);
  const Decimal min = Decimal::FromInteger(kMin);
  const Decimal half_range = Decimal::FromInteger(kMax / 2 + 1);
  const std::pair<std::optional<Decimal>, std::string_view> rows[] = {
      {Add(Parse("1.5"), Parse("0.25")), "1.75"},
      {Add(max, Parse("1")), "empty"},
      {Add(min, Parse("-1")), "empty"},
      {Add(min, Parse("1")), "-9223372036854775807"},
      {Add(Parse("922337203685477580.7"), Parse("0.01")), "empty"},  // at scale 2 it overflows
      {Subtract(Parse("1.00"), Parse("0.5")), "0.50"},
      {Subtract(Parse("0"), min), "empty"},
      {Subtract(Parse("-1"), max), "-9223372036854775808"},
      {Multiply(Parse("1.25"), 4), "5.00"},
      {Multiply(min, -1), "empty"},
      {Multiply(half_range, 2), "empty"},
      {Multiply(half_range, -2), "-9223372036854775808"},
      {Negate(Parse("1.50")), "-1.50"},
      {Negate(min), "empty"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(::testing::Message() << "row " << i);
    EXPECT_EQ(Text(rows[i].first), rows[i].second);
  }
}

TEST(Decimal, ComparesByValueAcrossScales) {
  const struct {
    Decimal a;
    Decimal b;
    std::strong_ordering expected;
  } rows[] = {
      {Parse("0.1"), Parse("0.10"), std::strong_ordering::equal},
      {Parse("-0.1"), Parse("0"), std::strong_ordering::less},
      {Decimal::FromInteger(kMax), Parse("922337203685477580.7"), std::strong_ordering::greater},
      {Decimal::FromInteger(kMin), Parse("-0.000000000000000001"), std::strong_ordering::less},
      {*Decimal::Make(kMax, 18), Decimal::FromInteger(9), std::strong_ordering::greater},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.a.ToString() + " vs " + row.b.ToString());
    EXPECT_EQ(row.a <=> row.b, row.expected);
    EXPECT_EQ(row.b <=> row.a, 0 <=> row.expected);
  }
  EXPECT_EQ(*Add(Parse("0.1"), Parse("0.2")), Parse("0.3"));
  EXPECT_FALSE(Parse("1.5").Identical(Parse("1.50")));
}

// The quick way of FromDouble against the exact one, over doubles made to sit on rounding ties
// (short decimals), one ulp beside them, and at arbitrary magnitudes.
TEST(Decimal, FromDoubleQuickWayMatchesTheExactWay) {
  std::mt19937_64 random(20240611);
  std::vector<std::string> mismatches;
  for (int i = 0; i < 200000; ++i) {
    const auto whole = static_cast<std::int64_t>(random() % 2000000001) - 1000000000;
    double value = static_cast<double>(whole) / std::pow(10.0, static_cast<int>(random() % 10));
    if (i % 4 == 1) value = std::nextafter(value, random() % 2 ? kInf : -kInf);
    if (i % 4 == 2) value = std::ldexp(value, static_cast<int>(random() % 80) - 40);
    const int digits = static_cast<int>(random() % 9);
    for (Rounding rounding : kModes) {
      const auto quick = Decimal::FromDouble(value, digits, rounding);
      const auto exact = internal::FromDoubleExact(value, digits, rounding);
      const bool same = quick ? exact && quick->Identical(*exact) : !exact;
      if (!same && mismatches.size() < 10) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g at %d: ", value, digits);
        mismatches.push_back(text + Text(quick) + " vs " + Text(exact));
      }
    }
  }
  EXPECT_THAT(mismatches, ::testing::IsEmpty());
}

}  // namespace
}  // namespace kelvane
