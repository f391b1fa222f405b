// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kelvane/testing/child_process.h"

namespace kelvane::platform {
namespace {

// The length scan reads aligned blocks of eight units: every start offset and length in and
// across those blocks, and the copies built on it.
TEST(Unicode, MeasuresAndCopiesWStringsAtEveryAlignment) {
  alignas(16) unsigned short buffer[64];
  for (std::size_t start = 0; start < 16; ++start) {
    for (std::size_t length = 0; start + length < 48; ++length) {
      for (std::size_t i = 0; i < 64; ++i) buffer[i] = static_cast<unsigned short>('a' + i % 26);
      buffer[start + length] = 0;
      const WChar* s = buffer + start;
      ASSERT_EQ(AliasedWStringLength(s), length) << start << " " << length;
      const String expected(s, s + length);
      String copy = u"old";
      ASSERT_TRUE(AssignWString(copy, s));
      ASSERT_EQ(copy, expected);
      ASSERT_TRUE(AppendWString(copy, s));
      ASSERT_EQ(copy, expected + expected);
    }
  }
  EXPECT_EQ(AliasedWStringLength(nullptr), 0u);
  String kept = u"kept";
  ASSERT_TRUE(AssignWString(kept, nullptr));
  EXPECT_EQ(kept, u"");
}

TEST(Unicode, CompareFoldsCaseFullyOrComparesCodePoints) {
  // Full folding, also outside the BMP (Deseret).
  // clang-format off
  const std::tuple<const char16_t*, const char16_t*, int> folded[] = {
      {u"Straße", u"STRASSE", 0}, {u"ΣΑΣ", u"σας", 0}, {u"\U00010400", u"\U00010428", 0},
      {u"apple", u"Banana", -1}, {u"Banana", u"apple", 1}, {u"ab", u"AB ", -1}, {u"", u"", 0}};
  // No case folding in the default order, and code points rather than units.
  const std::tuple<const char16_t*, const char16_t*, int> plain[] = {
      {u"\U0001F600", u"\uFF5E", 1}, {u"a", u"ab", -1}, {u"B", u"a", -1}, {u"x", u"x", 0}};
  // clang-format on
  for (const auto& [a, b, order] : folded) EXPECT_EQ(CaseInsensitiveCompare(a, b), order) << order;
  for (const auto& [a, b, order] : plain) EXPECT_EQ(DefaultCompare(a, b), order) << order;
  // A view with no pointer at all, as a search for a missing part gives, compares as empty.
  const std::u16string_view none;
  EXPECT_EQ(CaseInsensitiveCompare(none, u"png"), -1);
  EXPECT_EQ(CaseInsensitiveCompare(u"png", none), 1);
  EXPECT_EQ(DefaultCompare(none, u"a"), -1);
  EXPECT_EQ(CaseInsensitiveCompare(none, u""), 0);
}

TEST(Unicode, CountsScalarsAndRejectsUnpairedSurrogates) {
  EXPECT_EQ(CountScalars(u"a\U0001F600b"), 3);
  EXPECT_EQ(CountScalars(u""), 0);
  // A lead at the end, a lone trail, a lead before a pair.
  for (const String& bad : {String{u'a', char16_t{0xD83D}}, String{char16_t{0xDE00}, u'a'},
                            String{char16_t{0xD83D}, char16_t{0xD83D}, char16_t{0xDE00}}}) {
    EXPECT_EQ(CountScalars(bad), -1);
  }
}

// Every position of a surrogate pair or a lone surrogate relative to the converter's blocks.
TEST(Unicode, Utf16ToUtf32AcrossBlockBoundaries) {
  std::vector<LWChar> out;
  for (std::size_t at = 0; at + 2 <= 40; ++at) {
    std::u16string text(40, u'a');
    text[at] = 0xD83D;
    text[at + 1] = 0xDE00;
    std::vector<LWChar> expected(39, L'a');  // 39 scalars and the terminator
    expected[at] = 0x1F600;
    expected.push_back(0);
    ASSERT_TRUE(Utf16ToUtf32(text, out)) << at;
    EXPECT_EQ(out, expected) << at;

    std::u16string lone(40, u'b');
    lone[at] = (at % 2) ? 0xDC01 : 0xD801;
    EXPECT_FALSE(Utf16ToUtf32(lone, out)) << at;
  }
  ASSERT_TRUE(Utf16ToUtf32(u"", out));
  EXPECT_EQ(out, std::vector<LWChar>{0});
}

// UTF-8 in both directions is tested through its public bridge, kelvane/text/utf8_test.cc.

TEST(Unicode, Utf8ReplacingShowsEachBadByteAsOneReplacementCharacter) {
  // The strict decoder refuses each of these; the replacing one keeps the well-formed rest.
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xF0\x90\x80\x80", u"\U00010000"},  // the first four-byte scalar
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\uFFFF\U0010FFFF"},
      {"\xC3(x", u"\uFFFD(x"},                            // a lead without its continuation
      {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"a\xF0\x9F\x98", u"a\uFFFD\uFFFD\uFFFD"},          // cut at the end
  };
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    String out = u"old";
    ASSERT_TRUE(Utf8ToUtf16Replacing(bytes, out));
    EXPECT_EQ(out, expected);
  }
}

TEST(Unicode, CaseInsensitiveFindReportsOriginalPositions) {
  EXPECT_EQ(CaseInsensitiveFind(u"Der Fluß fließt", u"FLIESST"), 9);
  EXPECT_EQ(CaseInsensitiveFind(u"\U00010400\U00010400x", u"\U00010428X"), 2);
  EXPECT_EQ(CaseInsensitiveFind(u"abc", u"abcd"), -1);
  EXPECT_EQ(CaseInsensitiveFind(u"", u"a"), -1);
  EXPECT_EQ(CaseInsensitiveFind(u"xyz", u"Z"), 2);
  EXPECT_EQ(CaseInsensitiveFind(u"abc", u""), -1);
  // The first candidate splits "ß"; the search goes on to a whole-character match.
  EXPECT_EQ(CaseInsensitiveFind(u"ßs s", u"S S"), 1);
}

// Memory running out while decoding is a failure, never a text cut short: in a child with 512 MiB
// of address space, 200 MB of UTF-8 cannot become 400 MB of UTF-16.
[[maybe_unused]] const bool kDecodeOutOfMemory = testing::ChildProcess("utf8-out-of-memory", [] {
  const std::string bytes(std::size_t{200} << 20, 'a');
  String out = u"old";
  if (Utf8ToUtf16(bytes, out)) return 1;
  if (Utf8ToUtf16Replacing(bytes, out)) return 2;
  return 0;
});

TEST(Unicode, DecodingFailsWhenMemoryRunsOut) {
  const testing::ChildOutcome outcome = testing::RunLimitedChild(
      "utf8-out-of-memory", {.memory_bytes = std::uint64_t{512} << 20, .seconds = 10});
  EXPECT_EQ(outcome.status, 0) << "1: the strict decoder, 2: the replacing one said it decoded";
}

}  // namespace
}  // namespace kelvane::platform
