#include "kelvane/text/param_string.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace kelvane::NSTools {
namespace {

using platform::CharacterSet;

const String kLine = u"login=123|server=demo|ratio=1.5|";

TEST(FindValue, ReadsValuesUpToTheStopSet) {
  const CharacterSet bar = CharacterSet::FromCharacters(u"|");
  EXPECT_EQ(FindValue(kLine, u"server=", &bar), u"demo");
  EXPECT_EQ(FindValue(kLine, u"login=", &bar), u"123");
  EXPECT_EQ(FindValue(kLine, u"ratio=", &bar), u"1.5");
  EXPECT_FALSE(FindValue(kLine, u"port=", &bar).has_value());
  EXPECT_FALSE(FindValue(kLine, u"Server=", &bar).has_value());  // case matters
  EXPECT_FALSE(FindValue(kLine, u"", &bar).has_value());
  EXPECT_FALSE(FindValue(kLine, std::nullopt, &bar).has_value());

  const CharacterSet semi = CharacterSet::FromCharacters(u";");
  EXPECT_EQ(FindValue(u"a=1;b=2", u"b=", &semi), u"2");  // runs to the end
  EXPECT_EQ(FindValue(u"a=1;b=2", u"a=", &semi), u"1");
  EXPECT_EQ(FindValue(u"a=1;b=2", u"a=", nullptr), u"1;b=2");
  EXPECT_FALSE(FindValue(u"a=1;b=", u"b=", &semi).has_value());  // nothing follows the key
  EXPECT_EQ(FindValue(u"a=1;b=;c=3", u"b=", &semi), u"");
  // The key is found anywhere, also inside another key.
  EXPECT_EQ(FindValue(u"userid=5;id=7", u"id=", &semi), u"5");
  EXPECT_EQ(FindValue(u"userid=5;id=7", u";id=", &semi), u"7");
  // A key longer than the receiver, and an empty receiver.
  EXPECT_FALSE(FindValue(u"a=", u"a=1234", &semi).has_value());
  EXPECT_FALSE(FindValue(u"", u"a=", &semi).has_value());
}

TEST(FindValue, StopsAtNonAsciiAndLeavesSurrogatesAlone) {
  const CharacterSet stops = CharacterSet::FromCharacters(u"\u00A7\U0001F600");
  EXPECT_EQ(FindValue(u"k=\u0436\u00A7rest", u"k=", &stops), u"\u0436");
  // A stop set is asked unit by unit: a pair in the value does not match the pair in the set.
  EXPECT_EQ(FindValue(u"k=a\U0001F600b", u"k=", &stops), u"a\U0001F600b");
  // Lone surrogates in the receiver or the key are ordinary units.
  const String odd = String(u"x=") + u'\xD800' + u"|";
  const CharacterSet bar = CharacterSet::FromCharacters(u"|");
  EXPECT_EQ(FindValue(odd, u"x=", &bar), String(1, u'\xD800'));
}

TEST(ReadParam, WStringBufferCutsAndTerminates) {
  const CharacterSet bar = CharacterSet::FromCharacters(u"|");
  std::array<unsigned short, 4> w;
  w.fill(0x7777);
  EXPECT_TRUE(ReadParam(kLine, u"server=", &bar, w.data(), 6));
  EXPECT_EQ(platform::WStringView(w.data()), u"de");
  EXPECT_EQ(w[3], 0x7777);

  w.fill(0x7777);
  EXPECT_FALSE(ReadParam(kLine, u"port=", &bar, w.data(), 6));
  EXPECT_EQ(w[0], 0);

  w.fill(0x7777);
  EXPECT_TRUE(ReadParam(u"a=|", u"a=", &bar, w.data(), 8));  // an empty value is still found
  EXPECT_EQ(w[0], 0);

  // No room for a terminator, a null buffer or key: false and nothing written.
  w.fill(0x7777);
  EXPECT_FALSE(ReadParam(kLine, u"server=", &bar, w.data(), 1));
  EXPECT_FALSE(ReadParam(kLine, u"port=", &bar, w.data(), 1));
  EXPECT_FALSE(ReadParam(kLine, u"server=", &bar, w.data(), 0));
  EXPECT_FALSE(ReadParam(kLine, std::nullopt, &bar, w.data(), 8));
  EXPECT_FALSE(ReadParam(kLine, u"server=", &bar, static_cast<unsigned short*>(nullptr), 8));
  EXPECT_EQ(w[0], 0x7777);

  // A size past 4 GiB is clamped, never wrapped to a tiny or zero size.
  std::array<unsigned short, 8> big;
  big.fill(0x7777);
  EXPECT_TRUE(ReadParam(kLine, u"login=", &bar, big.data(), (std::uint64_t{1} << 32) + 0));
  EXPECT_EQ(platform::WStringView(big.data()), u"123");
  EXPECT_EQ(big[4], 0x7777);
}

TEST(ReadParam, NumbersFromValues) {
  const CharacterSet bar = CharacterSet::FromCharacters(u"|");
  double ratio = -1;
  EXPECT_TRUE(ReadParam(kLine, u"ratio=", &bar, &ratio));
  EXPECT_EQ(ratio, 1.5);

  std::int32_t i32 = 99;
  EXPECT_TRUE(ReadParam(kLine, u"server=", &bar, &i32));
  EXPECT_EQ(i32, 0);  // found, but no number
  i32 = 99;
  EXPECT_FALSE(ReadParam(kLine, u"port=", &bar, &i32));
  EXPECT_EQ(i32, 99);
  EXPECT_TRUE(ReadParam(kLine, u"login=", &bar, &i32));
  EXPECT_EQ(i32, 123);
  EXPECT_FALSE(ReadParam(kLine, u"login=", &bar, static_cast<std::int32_t*>(nullptr)));

  const CharacterSet semi = CharacterSet::FromCharacters(u";");
  std::int64_t i64 = 42;
  EXPECT_TRUE(ReadParam(u"a=1;b=;c=3", u"b=", &semi, &i64));
  EXPECT_EQ(i64, 0);
  EXPECT_TRUE(ReadParam(u"t=1700000000123;", u"t=", &semi, &i64));
  EXPECT_EQ(i64, 1700000000123);
}

TEST(NumberConversion, SkipsSpaceTakesSignAndClamps) {
  EXPECT_EQ(IntValue(u"  \t\n-17xyz"), -17);
  EXPECT_EQ(IntValue(u"+8"), 8);
  EXPECT_EQ(IntValue(u"- 8"), 0);
  EXPECT_EQ(IntValue(u"abc"), 0);
  EXPECT_EQ(IntValue(u""), 0);
  EXPECT_EQ(IntValue(u"2147483647"), 2147483647);
  EXPECT_EQ(IntValue(u"2147483648"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(IntValue(u"-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(IntValue(u"-2147483649"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(IntValue(u"99999999999999999999999999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(IntValue(u"\u0661\u0662"), 0);  // only ASCII digits count

  EXPECT_EQ(LongLongValue(u"9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(LongLongValue(u"9223372036854775808"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(LongLongValue(u"-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(LongLongValue(u"-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(LongLongValue(u"\u00A0 0042.9"), 42);
}

TEST(NumberConversion, DoublesAreLocaleIndependent) {
  EXPECT_EQ(DoubleValue(u"1.5"), 1.5);
  EXPECT_EQ(DoubleValue(u" -0.25e2kg"), -25.0);
  EXPECT_EQ(DoubleValue(u".5"), 0.5);
  EXPECT_EQ(DoubleValue(u"5."), 5.0);
  EXPECT_EQ(DoubleValue(u"1e"), 1.0);  // an exponent needs digits
  EXPECT_EQ(DoubleValue(u"2E+3"), 2000.0);
  EXPECT_EQ(DoubleValue(u"1,5"), 1.0);  // the comma never is a decimal point
  EXPECT_EQ(DoubleValue(u"0.1"), 0.1);  // correctly rounded
  EXPECT_EQ(DoubleValue(u"."), 0.0);
  EXPECT_EQ(DoubleValue(u"-"), 0.0);
  EXPECT_EQ(DoubleValue(u"inf"), 0.0);
  EXPECT_EQ(DoubleValue(u"nan"), 0.0);
  EXPECT_EQ(DoubleValue(u"0x10"), 0.0);
  EXPECT_TRUE(std::signbit(DoubleValue(u"-0")));
  EXPECT_EQ(DoubleValue(u"1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(DoubleValue(u"-1e400"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(DoubleValue(u"123456789e99999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(DoubleValue(u"1e-400"), 0.0);
  EXPECT_EQ(DoubleValue(u"0.000000000000000000000001e-380"), 0.0);
  EXPECT_EQ(DoubleValue(u"100000000000000000000000000000000e-330"), 1e-298);
}

TEST(ReadKey, SplitsAndTrimsAtTheFirstSeparator) {
  String key = u"untouched", value = u"untouched";
  EXPECT_TRUE(ReadKey(u"  name = John Smith  ", &key, &value, u"="));
  EXPECT_EQ(key, u"name");
  EXPECT_EQ(value, u"John Smith");
  EXPECT_TRUE(ReadKey(u"a=b=c", &key, &value, u"="));
  EXPECT_EQ(key, u"a");
  EXPECT_EQ(value, u"b=c");
  EXPECT_TRUE(ReadKey(u"a = ", &key, &value, u"="));
  EXPECT_EQ(key, u"a");
  EXPECT_EQ(value, u"");
  EXPECT_TRUE(ReadKey(u"k=v\n", &key, &value, u"="));
  EXPECT_EQ(value, u"v\n");  // line breaks are not trimmed
  EXPECT_TRUE(ReadKey(u"\u3000k\t:=\u00A0v", &key, &value, u":="));
  EXPECT_EQ(key, u"k");
  EXPECT_EQ(value, u"v");

  key = u"kept";
  value = u"kept";
  for (const char16_t* line : {u"a=", u"=x", u"abc", u""}) {
    EXPECT_FALSE(ReadKey(line, &key, &value, u"=")) << std::u16string_view(line).size();
  }
  EXPECT_FALSE(ReadKey(u"a=b", &key, &value, u""));
  EXPECT_FALSE(ReadKey(u"a=b", &key, &value, std::nullopt));
  EXPECT_FALSE(ReadKey(u"a=b", nullptr, &value, u"="));
  EXPECT_FALSE(ReadKey(u"a=b", &key, nullptr, u"="));
  EXPECT_EQ(key, u"kept");
  EXPECT_EQ(value, u"kept");
}

}  // namespace
}  // namespace kelvane::NSTools
