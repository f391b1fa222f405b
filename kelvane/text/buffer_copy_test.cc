// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/buffer_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kelvane/platform/i18n/unicode.h"
#include "kelvane/testing/text.h"

namespace kelvane::NSTools {
namespace {

constexpr unsigned short kFill = 0xABCD;

// A WString buffer of n units prefilled with kFill, with one guard unit after it.
struct Units {
  explicit Units(std::size_t n) : u(n + 1, kFill), n(n) {}
  unsigned short* data() { return u.data(); }
  std::u16string text() const { return platform::WStringText(u.data()); }
  bool guard_intact() const { return u[n] == kFill; }
  std::vector<unsigned short> u;
  std::size_t n;
};

using testing::W;

TEST(CopyString, CutsToCapacityMinusTerminator) {
  // {text, bytes, CopyString's result, CopyWString's result, kept}: CopyWString answers the
  // capacity when it cut. An odd size is rounded down to whole units; surrogate pairs are
  // copied unit by unit.
  const std::tuple<const char16_t*, unsigned, unsigned, unsigned, const char16_t*> cases[] = {
      {u"hello", 6, 2, 3, u"he"},
      {u"hello", 12, 5, 5, u"hello"},
      {u"hello", 7, 2, 3, u"he"},
      {u"a\U0001F600", 8, 3, 3, u"a\U0001F600"}};
  for (const auto& [text, bytes, copied, wcopied, kept] : cases) {
    Units d(bytes / 2), w(bytes / 2);
    EXPECT_EQ(CopyString(text, d.data(), bytes), copied) << bytes;
    EXPECT_EQ(CopyWString(W(text), w.data(), bytes), wcopied) << bytes;
    EXPECT_EQ(std::tuple(d.text(), w.text(), d.guard_intact(), w.guard_intact()),
              std::tuple(kept, kept, true, true))
        << bytes;
  }
  Units tight(5);
  EXPECT_EQ((std::tuple{CopyTo(String(u"hello"), tight.data(), 10), tight.text()}),
            std::tuple(4u, u"hell"));

  // Never writes without room for the terminator; two bytes hold only the terminator.
  Units one(1);
  EXPECT_EQ(CopyString(u"hello", one.data(), 1) + CopyString(std::nullopt, one.data(), 2) +
                CopyString(u"x", nullptr, 2) + CopyWString(W(u"hello"), one.data(), 1) +
                CopyWString(nullptr, one.data(), 2),
            0u);
  EXPECT_EQ(one.u[0], kFill);
  EXPECT_EQ(CopyString(u"hello", one.data(), 2), 0u);
  EXPECT_EQ(std::tuple(one.u[0], one.guard_intact()), (std::tuple<unsigned short, bool>(0, true)));

  // CopyWString clears the last unit even when the text ended early; units in between keep
  // their fill.
  Units gap(6);
  EXPECT_EQ(CopyWString(W(u"ab"), gap.data(), 12), 2u);
  EXPECT_EQ(std::vector(gap.u.begin() + 2, gap.u.end() - 1),
            (std::vector<unsigned short>{0, kFill, kFill, 0}));
}

TEST(CopyWString, NarrowsToLowBytes) {
  std::array<char, 8> d;
  d.fill('#');
  EXPECT_EQ(CopyWString(W(u"hello"), d.data(), 3), 3u);
  EXPECT_EQ(std::tuple(std::string(d.data()), d[3]), std::tuple(std::string("he"), '#'));
  EXPECT_EQ(CopyWString(W(u"\u0141\u00E9x"), d.data(), 8), 3u);
  EXPECT_EQ(std::string(d.data()), "\x41\xE9x");

  d.fill('#');
  // No room: nothing written; one byte: the terminator alone, and the result says "cut".
  EXPECT_EQ((std::tuple{CopyWString(W(u"hello"), d.data(), 0), d[0]}), std::tuple(0u, '#'));
  EXPECT_EQ((std::tuple{CopyWString(W(u"hello"), d.data(), 1), d[0], d[1]}),
            std::tuple(1u, '\0', '#'));
  EXPECT_EQ(
      CopyWString(W(u"hi"), static_cast<char*>(nullptr), 4) + CopyWString(nullptr, d.data(), 4),
      0u);
}

TEST(CopyWStringSecured, FillsTheTailWithRandomUnits) {
  Units d(8), again(8);
  CopyWStringSecured(W(u"ab"), d.data(), 16);
  CopyWStringSecured(W(u"ab"), again.data(), 16);
  EXPECT_EQ(std::tuple(d.text(), d.guard_intact()), std::tuple(std::u16string(u"ab"), true));
  EXPECT_LT(std::count(d.u.begin() + 3, d.u.begin() + 8, kFill), 5) << "the tail is still old";
  EXPECT_NE(std::memcmp(d.data() + 3, again.data() + 3, 10), 0);  // two copies, two tails
  // A cut source fills nothing after the kept text.
  Units cut(3);
  CopyWStringSecured(W(u"hello"), cut.data(), 6);
  EXPECT_EQ(std::tuple(cut.text(), cut.guard_intact()), std::tuple(std::u16string(u"he"), true));
}

TEST(TrimSpaces, RemovesOnlyU0020AtBothEnds) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"  a b  ", u"a b"},           {u"   ", u""},    {u"\ta \t", u"\ta \t"},
      {u" \u00A0x\n ", u"\u00A0x\n"}, {u"abc", u"abc"}, {u"", u""}};
  for (auto [text, trimmed] : cases) {
    auto* units = reinterpret_cast<unsigned short*>(text.data());
    TrimSpaces(units);
    EXPECT_EQ(platform::WStringText(units), trimmed);
  }
  TrimSpaces(nullptr);
}

TEST(CopyToStr, AgreesWithPlainEncodingAtEveryCut) {
  // Runs of ASCII, two-, three- and four-byte characters, now and then a lone surrogate.
  const std::u16string pieces[] = {u"abcdefghij", u"k", u"\u0436\u0437",      u"\u4E2D\u6587\u5B57",
                                   u"\U0001F600", u" ", u"0123456789ABCDEFGH"};
  std::uint32_t x = 2024;
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    const int count = round % 12;
    for (int p = 0; p < count; ++p) {
      x = x * 1664525 + 1013904223;
      text += pieces[(x >> 16) % 7];
    }
    // A lone surrogate, in the middle or at the very end (beyond any cut).
    if (round % 25 == 24) text.insert(text.size() / 2, 1, u'\xD800');
    if (round % 25 == 12) text += u'\xDC00';
    std::string expected;
    const bool valid = platform::Utf16ToUtf8(text, expected);
    const unsigned full = static_cast<unsigned>(text.size() * 3 + 1);
    for (unsigned size = 1; size <= full + 1; ++size) {
      std::string out(size + 1, '#');
      CopyToStr(text, out.data(), size);
      ASSERT_EQ(out[size], '#') << "wrote past the buffer, round " << round << " size " << size;
      if (!valid) {
        // Without a UTF-8 form no fragment of the text may stay behind: what was written is 0.
        ASSERT_EQ(out.find_first_not_of(std::string_view("#\0", 2)), std::string::npos)
            << round << " " << size;
        ASSERT_EQ(out[0], '\0') << round << " " << size;
        continue;
      }
      const std::size_t kept = std::min<std::size_t>(size - 1, expected.size());
      ASSERT_EQ(out.substr(0, kept + 1), expected.substr(0, kept) + '\0') << round << " " << size;
    }
  }
  char d[4] = {'#', '#', '#', '#'};
  CopyToStr(u"abc", d, 0);
  CopyToStr(u"abc", nullptr, 4);
  EXPECT_EQ(d[0], '#');
}

TEST(GetCString, AsciiFirstThenTheCodePage) {
  // {text, size, code page, result, bytes}. ASCII never needs the code page, even an unknown
  // one. What does not fit or has no mapping gives false and no partial text. Which characters
  // each code page maps is the encoder's to test (platform/i18n/charset_test).
  const std::tuple<const char16_t*, unsigned, unsigned, bool, const char*> cases[] = {
      {u"Привет", 16, 1251, true, "\xCF\xF0\xE8\xE2\xE5\xF2"},
      {u"plain", 16, 65001, true, "plain"},
      {u"too long", 5, 1252, false, ""},
      {u"Привет", 6, 1251, false, ""},  // six bytes need a seventh
      {u"Привет", 16, 1252, false, ""},
      {u"\u00E9", 16, 12345, false, ""}};
  for (const auto& [text, size, codepage, fitted, bytes] : cases) {
    std::array<char, 17> d;
    d.fill('#');
    EXPECT_EQ(GetCString(text, d.data(), size, codepage), fitted) << codepage << " " << size;
    EXPECT_STREQ(d.data(), bytes) << codepage << " " << size;
    // The last byte is a terminator.
    EXPECT_EQ(std::tuple(d[size - 1], d[size]), std::tuple('\0', '#')) << size;
  }
  char untouched = '#';
  EXPECT_FALSE(GetCString(u"abc", &untouched, 0, 1252));
  EXPECT_FALSE(GetCString(u"abc", nullptr, 16, 1252));
  EXPECT_EQ(untouched, '#');
}

TEST(ClearSecured, OverwritesInPlaceKeepingTheLength) {
  String secret(40, u's');  // long enough to live on the heap
  const char16_t* storage = secret.data();
  ClearSecured(secret);
  EXPECT_EQ(secret.size(), 40u);
  EXPECT_EQ(secret.data(), storage) << "the old units must be overwritten where they were";
  EXPECT_NE(secret, String(40, u's'));
  String small(u"abcde"), empty;
  ClearSecured(small);
  ClearSecured(empty);
  EXPECT_EQ(std::tuple(small.size(), empty.size()), std::tuple(5ul, 0ul));
  EXPECT_NE(small, u"abcde");
}

}  // namespace
}  // namespace kelvane::NSTools
