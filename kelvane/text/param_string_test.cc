// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/param_string.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace kelvane::NSTools {
namespace {

using platform::CharacterSet;

const String kLine = u"login=123|server=demo|ratio=1.5|";
constexpr unsigned short kFill = 0x7777;  // what the buffers hold before a call

TEST(FindValue, ReadsValuesUpToTheStopSet) {
  // {receiver, key, stop characters (null: no stop set), value}. The key is found anywhere,
  // also inside another key; case matters; a value may run to the end. A stop set is asked unit
  // by unit: a pair in the value does not match the pair in the set. Lone surrogates in the
  // receiver are ordinary units.
  using Value = std::optional<String>;
  // clang-format off
  const std::tuple<String, OptionalString, const char16_t*, Value> cases[] = {
      {kLine, u"server=", u"|", u"demo"},      {kLine, u"Server=", u"|", std::nullopt},
      {kLine, u"", u"|", std::nullopt},        {kLine, std::nullopt, u"|", std::nullopt},
      {u"a=1;b=2", u"b=", u";", u"2"},         {u"a=1;b=2", u"a=", nullptr, u"1;b=2"},
      {u"a=1;b=", u"b=", u";", std::nullopt},  {u"a=1;b=;c=3", u"b=", u";", u""},
      {u"userid=5;id=7", u"id=", u";", u"5"},
      {u"k=\u0436\u00A7rest", u"k=", u"\u00A7\U0001F600", u"\u0436"},
      {u"k=a\U0001F600b", u"k=", u"\u00A7\U0001F600", u"a\U0001F600b"},
      {String(u"x=") + u'\xD800' + u"|", u"x=", u"|", String(1, u'\xD800')}};
  // clang-format on
  for (const auto& [receiver, key, stops, value] : cases) {
    const CharacterSet set = CharacterSet::FromCharacters(stops != nullptr ? stops : u"");
    EXPECT_EQ(FindValue(receiver, key, stops != nullptr ? &set : nullptr), value)
        << receiver.size() << " " << (key ? key->size() : 0);
  }
}

TEST(ReadParam, CopiesIntoWStringBuffersAndReadsNumbers) {
  const CharacterSet bar = CharacterSet::FromCharacters(u"|");
  std::array<unsigned short, 8> w;
  w.fill(kFill);
  EXPECT_TRUE(ReadParam(kLine, u"server=", &bar, w.data(), 6));
  EXPECT_EQ(std::tuple(platform::WStringText(w.data()), w[3]), std::tuple(String(u"de"), kFill));
  // A size past 4 GiB is clamped, never wrapped to a tiny or zero size.
  w.fill(kFill);
  EXPECT_TRUE(ReadParam(kLine, u"login=", &bar, w.data(), std::uint64_t{1} << 32));
  EXPECT_EQ(std::tuple(platform::WStringText(w.data()), w[4]), std::tuple(String(u"123"), kFill));
  EXPECT_EQ((std::tuple{ReadParam(kLine, u"port=", &bar, w.data(), 6), w[0]}),
            std::tuple(false, 0));

  // No room for a terminator, a null buffer or key: false and nothing written.
  w.fill(kFill);
  EXPECT_THAT(
      (std::vector{ReadParam(kLine, u"server=", &bar, w.data(), 1),
                   ReadParam(kLine, u"port=", &bar, w.data(), 1),
                   ReadParam(kLine, std::nullopt, &bar, w.data(), 8),
                   ReadParam(kLine, u"server=", &bar, static_cast<unsigned short*>(nullptr), 8)}),
      ::testing::Each(false));
  EXPECT_EQ(w[0], kFill);

  // Numbers from values; what each conversion reads is tested below.
  double ratio = -1;
  EXPECT_EQ((std::tuple{ReadParam(kLine, u"ratio=", &bar, &ratio), ratio}), std::tuple(true, 1.5));
  std::int64_t i64 = 42;
  // Just under 2^63, where saturating one digit early would clamp.
  EXPECT_EQ((std::tuple{ReadParam(u"t=9223372036854775800;", u"t=", &bar, &i64), i64}),
            std::tuple(true, std::int64_t{9223372036854775800}));
  std::int32_t i32 = 99;
  EXPECT_EQ((std::tuple{ReadParam(kLine, u"port=", &bar, &i32), i32}), std::tuple(false, 99));
  EXPECT_FALSE(ReadParam(kLine, u"login=", &bar, static_cast<std::int32_t*>(nullptr)));
}

TEST(NumberConversion, SkipsSpaceTakesSignAndClampsWithoutTheLocale) {
  constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
  // Only ASCII digits count.
  // clang-format off
  const std::pair<const char16_t*, std::int32_t> ints[] = {
      {u"  \t\n-17xyz", -17}, {u"+8", 8}, {u"- 8", 0}, {u"abc", 0}, {u"", 0},
      {u"2147483647", 2147483647}, {u"2147483640", 2147483640}, {u"2147483648", kMax32},
      {u"-2147483648", kMin32}, {u"-2147483649", kMin32}, {u"99999999999999999999999999", kMax32},
      {u"\u0661\u0662", 0}};
  // Both sides of 2^63 and of 2^64: twenty digits must clamp, not wrap to a small number.
  const std::pair<const char16_t*, std::int64_t> longs[] = {
      {u"9223372036854775807", kMax64}, {u"9223372036854775808", kMax64},
      {u"-9223372036854775808", kMin64}, {u"-9223372036854775809", kMin64},
      {u"18446744073709551616", kMax64}, {u"-18446744073709551617", kMin64},
      {u"\u00A0 0042.9", 42}};
  // clang-format on
  for (const auto& [text, value] : ints) EXPECT_EQ(IntValue(text), value) << value;
  for (const auto& [text, value] : longs) EXPECT_EQ(LongLongValue(text), value) << value;

  // Doubles: an exponent needs digits, the comma never is a decimal point, and 0.1 is correctly
  // rounded; no locale takes part.
  constexpr double kInf = std::numeric_limits<double>::infinity();
  // clang-format off
  const std::pair<const char16_t*, double> cases[] = {
      {u"1.5", 1.5}, {u" -0.25e2kg", -25.0}, {u".5", 0.5}, {u"5.", 5.0}, {u"1e", 1.0},
      {u"2E+3", 2000.0}, {u"1,5", 1.0}, {u"0.1", 0.1}, {u".", 0.0}, {u"-", 0.0}, {u"inf", 0.0},
      {u"nan", 0.0}, {u"0x10", 0.0}, {u"1e400", kInf}, {u"-1e400", -kInf}, {u"1e-400", 0.0},
      {u"123456789e99999999999999", kInf}, {u"0.000000000000000000000001e-380", 0.0},
      {u"100000000000000000000000000000000e-330", 1e-298}};
  // clang-format on
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(DoubleValue(text), value) << std::u16string_view(text).size();
  }
  EXPECT_TRUE(std::signbit(DoubleValue(u"-0")));
}

TEST(ReadKey, SplitsAndTrimsAtTheFirstSeparator) {
  String key = u"untouched", value = u"untouched";
  // Line breaks are not trimmed; other spaces are, also ones outside ASCII.
  const std::tuple<const char16_t*, const char16_t*, const char16_t*, const char16_t*> cases[] = {
      {u"  name = John Smith  ", u"=", u"name", u"John Smith"},
      {u"a=b=c", u"=", u"a", u"b=c"},
      {u"a = ", u"=", u"a", u""},
      {u"k=v\n", u"=", u"k", u"v\n"},
      {u"\u3000k\t:=\u00A0v", u":=", u"k", u"v"}};
  for (const auto& [line, separator, k, v] : cases) {
    EXPECT_EQ((std::tuple{ReadKey(line, &key, &value, separator), key, value}),
              std::tuple(true, k, v))
        << std::u16string_view(line).size();
  }

  key = value = u"kept";
  for (const char16_t* line : {u"a=", u"=x", u"abc", u""}) {
    EXPECT_FALSE(ReadKey(line, &key, &value, u"=")) << std::u16string_view(line).size();
  }
  EXPECT_THAT(
      (std::vector{ReadKey(u"a=b", &key, &value, u""), ReadKey(u"a=b", &key, &value, std::nullopt),
                   ReadKey(u"a=b", nullptr, &value, u"="), ReadKey(u"a=b", &key, nullptr, u"=")}),
      ::testing::Each(false));
  EXPECT_EQ(std::tuple(key, value), std::tuple(String(u"kept"), String(u"kept")));
}

}  // namespace
}  // namespace kelvane::NSTools
