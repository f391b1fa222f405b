// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/wide_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kelvane/platform/core/thread_dictionary.h"
#include "kelvane/runtime/scratch_environment.h"
#include "kelvane/testing/text.h"
#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using testing::OnFreshThread;  // whose scratch environment starts empty
using testing::W;

const std::optional<String> kNone;  // what a refused conversion gives

TEST(NSToolsCompare, OrdersByUnsignedUnitsAndLengthWithCountsPastTerminators) {
  // A count reads past terminators; units are unsigned: a high surrogate sorts before U+FF5E.
  const unsigned short a[] = {'a', 'b', 0, 'x'};
  const unsigned short b[] = {'a', 'b', 0, 'y'};
  // clang-format off
  const std::tuple<const unsigned short*, const unsigned short*, unsigned int, int> cases[] = {
      {W(u"ab"), W(u"abc"), 0, -1}, {nullptr, W(u"a"), 0, 0}, {W(u"a"), nullptr, 3, 0},
      {a, b, 4, -1}, {a, b, 3, 0}, {W(u"\uFF5E"), W(u"\xD83D"), 1, 1}};
  // clang-format on
  for (const auto& [x, y, count, result] : cases) {
    EXPECT_EQ(NSTools::Compare(x, y, count), result) << count;
  }
  EXPECT_EQ(NSTools::Compare(W(u"abd"), W(u"abc")), 1);  // the two-argument form

  // A String receiver is never read past its end: with a count, its terminator takes part and
  // units beyond it count as zero units.
  // clang-format off
  const std::tuple<String, const unsigned short*, unsigned int, int> receivers[] = {
      {u"ab", a, 3, 0}, {u"ab", a, 4, -1}, {u"abc", W(u"ab"), 0, 1}, {u"abc", nullptr, 2, 0}};
  // clang-format on
  for (const auto& [x, y, count, result] : receivers) {
    EXPECT_EQ(NSTools::Compare(x, y, count), result) << count;
  }
}

TEST(NSToolsCompareNoCase, FoldsCaseThroughTheThreadsScratchStrings) {
  OnFreshThread([] {
    // Nothing reserved: every pair is "the same".
    EXPECT_EQ(NSTools::CompareNoCase(W(u"a"), W(u"b")), 0);
    NSTools::SetEnviromentString(1);
    EXPECT_EQ(NSTools::CompareNoCase(W(u"a"), W(u"b")), 0);  // string 1 is still missing

    NSTools::SetEnviromentString(2);
    // clang-format off
    const std::tuple<const char16_t*, const char16_t*, int> cases[] = {
        {u"abc", u"ABD", -1}, {u"b", u"A", 1}, {u"ab", u"AB c", -1}};
    // clang-format on
    for (const auto& [a, b, order] : cases) EXPECT_EQ(NSTools::CompareNoCase(W(a), W(b)), order);
    EXPECT_EQ(NSTools::CompareNoCase(nullptr, W(u"a")), 0);

    // The texts are left in the scratch strings.
    ASSERT_EQ(NSTools::CompareNoCase(W(u"a long first text"), W(u"a long second text")), -1);
    EXPECT_EQ(*NSTools::EnviromentString(0), u"a long first text");
    EXPECT_EQ(*NSTools::EnviromentString(1), u"a long second text");

    // Once a string is gone from the thread's dictionary the pair found before is not used again.
    ASSERT_TRUE(platform::ThreadDictionary::Current()->Remove(u"ZQ3STR1"));
    EXPECT_EQ(NSTools::CompareNoCase(W(u"a"), W(u"b")), 0);
  });
}

TEST(NSToolsContentEquals, NullAndEmptyAreEqual) {
  // clang-format off
  const std::tuple<OptionalString, OptionalString, bool> cases[] = {
      {std::nullopt, u"", true}, {u"", u"a", false}, {u"a", std::nullopt, false},
      {u"a", u"A", false}, {u"ab", u"ab", true}};
  // clang-format on
  for (const auto& [a, b, equal] : cases) EXPECT_EQ(NSTools::ContentEquals(a, b), equal);
}

TEST(NSToolsFindChar, StopsAtCountAndTerminator) {
  // {text, count, unit, FindChar, FindRChar}: the terminator is never reported, and a large
  // count stops at it.
  const unsigned short* s = W(u"abcabc");
  // clang-format off
  const std::tuple<const unsigned short*, unsigned, unsigned short, int, int> cases[] = {
      {s, 2, 'b', 1, 1}, {s, 1, 'b', -1, -1}, {s, 0, 'a', -1, -1}, {s, 100, 0, -1, -1},
      {s, 100, 'c', 2, 5}, {nullptr, 5, 'a', -1, -1}};
  // clang-format on
  for (const auto& [text, count, unit, first, last] : cases) {
    EXPECT_EQ(NSTools::FindChar(text, count, unit), first) << count << " " << unit;
    EXPECT_EQ(NSTools::FindRChar(text, count, unit), last) << count << " " << unit;
  }
}

TEST(NSToolsWString, MakesStringsMeasuresAndLendsTheReceiversBuffer) {
  EXPECT_EQ(NSTools::stringWithWString(W(u"héllo")), u"héllo");
  EXPECT_EQ(std::tuple(NSTools::stringWithWString(nullptr), NSTools::initWithWString(nullptr)),
            std::tuple(kNone, kNone));

  const String text = u"ab\U0001F600";
  const unsigned short* units = NSTools::UTF16String(text);  // the receiver's own buffer
  EXPECT_EQ(static_cast<const void*>(units), static_cast<const void*>(text.c_str()));
  EXPECT_EQ(std::tuple(NSTools::Length(units), NSTools::UTF16Length(text), NSTools::Length(nullptr),
                       NSTools::Length(ExtWEmpty)),
            std::tuple(4u, 4u, 0u, 0u));
  EXPECT_EQ(NSTools::UTF16Length(String(u"a\0b", 3)), 3u);
}

TEST(NSToolsLWString, DecodesValidUnitsAndRejectsTheRest) {
  const wchar_t text[] = {L'a', 0x416, 0x1F600, 0x10FFFF, 0};
  EXPECT_EQ(NSTools::initWithLWString(text, 4), u"a\u0416\U0001F600\U0010FFFF");
  EXPECT_EQ(NSTools::stringWithLWString(text), u"a\u0416\U0001F600\U0010FFFF");

  const wchar_t inner_zero[] = {L'x', 0, L'y'};  // an explicit length keeps U+0000
  EXPECT_EQ(NSTools::initWithLWString(inner_zero, 3), String(u"x\0y", 3));
  EXPECT_EQ(NSTools::initWithLWString(inner_zero), u"x");

  EXPECT_EQ(std::tuple(NSTools::initWithLWString(nullptr, 0), NSTools::initWithLWString(nullptr),
                       NSTools::stringWithLWString(nullptr)),
            std::tuple(kNone, kNone, kNone));
  // Which units are bad is the decoder's to test (platform/unicode_test); here, that one bad
  // unit makes no string, and that the length bounds what is read.
  std::vector<wchar_t> units(40, L'q');
  units[33] = 0xD800;
  EXPECT_FALSE(NSTools::initWithLWString(units.data(), 40).has_value());
  EXPECT_EQ(NSTools::initWithLWString(units.data(), 33), String(33, u'q'));
}

TEST(NSToolsUnits, UTF32StringRoundTripsAndLastsUntilTheNextCall) {
  const String text = u"Zürich Ж 東京 \U0001F600 end, and some more ASCII to pass a block";
  const wchar_t* units = NSTools::UTF32String(text);
  ASSERT_NE(units, nullptr);
  const unsigned int length = NSTools::UTF32Length(text);
  EXPECT_EQ(length, text.size() - 1);  // one surrogate pair
  EXPECT_EQ(NSTools::initWithLWString(units, length), text);

  // Another thread's conversions use that thread's buffer and leave this one alone.
  const std::vector<wchar_t> before(units, units + length + 1);
  OnFreshThread([] {
    for (int i = 0; i < 50; ++i) ASSERT_NE(NSTools::UTF32String(u"другой поток"), nullptr);
  });
  EXPECT_TRUE(std::equal(before.begin(), before.end(), units));

  // The next call on this thread takes the buffer over.
  const wchar_t* next = NSTools::UTF32String(u"xy");
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(std::wstring(next), L"xy");

  const String unpaired{u'a', u'b', u'\xD83D', u'c'};
  EXPECT_EQ(std::tuple(NSTools::UTF32String(unpaired), NSTools::UTF32Length(unpaired)),
            (std::tuple<const wchar_t*, unsigned>(nullptr, 0)));
  EXPECT_EQ(NSTools::UTF32Length(String(u"\xDE00\xD83D")), 0u);  // a reversed pair
}

TEST(NSToolsContentsIn, FindsTheReceiverIgnoringCase) {
  // Positions count units of the argument, also after case folding changed lengths (where "SS"
  // matches "ß" is the platform's folding search to test); half a character (s of ß) is no
  // match; KELVIN SIGN folds to k.
  // clang-format off
  const std::tuple<const char16_t*, const unsigned short*, int> cases[] = {
      {u"LO", W(u"hello"), 3}, {u"xyz", W(u"hello"), -1}, {u"", W(u"hello"), -1},
      {u"h", nullptr, -1}, {u"e", W(u"Straße"), 5}};
  // clang-format on
  for (const auto& [receiver, text, at] : cases) EXPECT_EQ(NSTools::ContentsIn(receiver, text), at);
}

TEST(NSToolsCompareString, ComparesUtf8Bytes) {
  // {receiver, bytes, count, sign}. Non-ASCII receivers are bounded by their UTF-8 bytes: é and
  // è share the first byte.
  const auto sign = [](int n) { return (n > 0) - (n < 0); };
  // clang-format off
  const std::tuple<String, const char*, unsigned, int> cases[] = {
      {u"abc", "abcdef", 10, 0}, {u"abc", "abd", 2, 0}, {u"abc", "ab", 10, 1},
      {u"é", "\xC3\xA8", 10, 1}};
  // clang-format on
  for (const auto& [receiver, bytes, count, order] : cases) {
    EXPECT_EQ(sign(NSTools::CompareString(receiver, bytes, count)), order) << bytes << count;
  }
  EXPECT_EQ(NSTools::CompareString(u"abc", nullptr, 10), -1);
  EXPECT_EQ(NSTools::CompareString(u"abc", "abc"), 0);    // the whole text
  EXPECT_GT(NSTools::CompareString(u"abc", nullptr), 0);  // null sorts first, and does not crash
  const String unpaired(u"a\xD800");                      // no UTF-8 form
  EXPECT_EQ(
      std::tuple(NSTools::CompareString(unpaired, "a", 10), NSTools::CompareString(unpaired, "a")),
      std::tuple(-1, -1));
}

TEST(NSToolsInverseCompare, SortsDescendingByCodePoint) {
  // A character outside the BMP orders above U+FF5E, although its first unit is smaller.
  // clang-format off
  const std::tuple<const char16_t*, const char16_t*, int> cases[] = {
      {u"a", u"b", 1}, {u"a", u"a", 0}, {u"\U0001F600", u"\uFF5E", -1}};
  // clang-format on
  for (const auto& [a, b, order] : cases) EXPECT_EQ(NSTools::InverseCompare(a, b), order);
}

TEST(NSToolsMutableString, ClearsSetsAndAppends) {
  String s = u"old";
  NSTools::appendWString(s, W(u" + new"));
  NSTools::appendWString(s, nullptr);
  EXPECT_EQ(s, u"old + new");
  NSTools::setWString(s, nullptr);
  EXPECT_EQ(s, u"");
  NSTools::setWString(s, W(u"x"));
  NSTools::Clear(s);
  EXPECT_EQ(s, u"");
  // Appending a String to itself through its own buffer, also when that buffer must grow.
  String twice = u"abcdefgh";
  for (int i = 0; i < 4; ++i) NSTools::appendWString(twice, NSTools::UTF16String(twice));
  EXPECT_EQ(std::tuple(twice.size(), twice.substr(120)), std::tuple(128ul, String(u"abcdefgh")));
  String tail = u"xyz";
  NSTools::appendWString(tail, NSTools::UTF16String(tail) + 1);
  EXPECT_EQ(tail, u"xyzyz");
  NSTools::setWString(tail, NSTools::UTF16String(tail) + 2);
  EXPECT_EQ(tail, u"zyz");
}

}  // namespace
}  // namespace kelvane
