#include "kelvane/text/buffer_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::NSTools {
namespace {

constexpr unsigned short kFill = 0xABCD;

// A WString buffer of n units prefilled with kFill, with one guard unit after it.
struct Units {
  explicit Units(std::size_t n) : u(n + 1, kFill), n(n) {}
  unsigned short* data() { return u.data(); }
  std::u16string text() const { return std::u16string(platform::WStringView(u.data())); }
  bool guard_intact() const { return u[n] == kFill; }
  std::vector<unsigned short> u;
  std::size_t n;
};

const unsigned short* W(const char16_t* s) { return reinterpret_cast<const unsigned short*>(s); }

struct CutCase {
  const char16_t* text;
  unsigned bytes;
  unsigned result;
  const char16_t* kept;
};

TEST(CopyString, CutsToCapacityMinusTerminator) {
  // An odd size is rounded down to whole units; surrogate pairs are copied unit by unit.
  const CutCase cases[] = {{u"hello", 6, 2, u"he"},
                           {u"hello", 12, 5, u"hello"},
                           {u"hello", 10, 4, u"hell"},
                           {u"hello", 7, 2, u"he"},
                           {u"a\U0001F600", 8, 3, u"a\U0001F600"}};
  for (const CutCase& c : cases) {
    Units d(c.bytes / 2);
    EXPECT_EQ(CopyString(c.text, d.data(), c.bytes), c.result) << c.bytes;
    EXPECT_EQ(d.text(), c.kept) << c.bytes;
    EXPECT_TRUE(d.guard_intact()) << c.bytes;
  }
  Units tight(5);
  EXPECT_EQ(CopyTo(String(u"hello"), tight.data(), 10), 4u);
  EXPECT_EQ(tight.text(), u"hell");

  // Never writes without room for the terminator; two bytes hold only the terminator.
  Units one(1);
  EXPECT_EQ(CopyString(u"hello", one.data(), 0), 0u);
  EXPECT_EQ(CopyString(u"hello", one.data(), 1), 0u);
  EXPECT_EQ(CopyString(std::nullopt, one.data(), 2), 0u);
  EXPECT_EQ(CopyString(u"x", nullptr, 2), 0u);
  EXPECT_EQ(one.u[0], kFill);
  EXPECT_EQ(CopyString(u"hello", one.data(), 2), 0u);
  EXPECT_EQ(one.u[0], 0);
  EXPECT_TRUE(one.guard_intact());
}

TEST(CopyWString, ResultEqualToCapacityMeansCut) {
  const CutCase cases[] = {
      {u"hello", 6, 3, u"he"}, {u"hello", 12, 5, u"hello"}, {u"hello", 10, 5, u"hell"}};
  for (const CutCase& c : cases) {
    Units d(c.bytes / 2);
    EXPECT_EQ(CopyWString(W(c.text), d.data(), c.bytes), c.result) << c.bytes;
    EXPECT_EQ(d.text(), c.kept) << c.bytes;
    EXPECT_TRUE(d.guard_intact()) << c.bytes;
  }

  // The last unit is cleared even when the text ended early; units in between keep their fill.
  Units gap(6);
  EXPECT_EQ(CopyWString(W(u"ab"), gap.data(), 12), 2u);
  EXPECT_EQ(gap.u[2], 0);
  EXPECT_EQ(gap.u[3], kFill);
  EXPECT_EQ(gap.u[5], 0);

  Units one(1);
  EXPECT_EQ(CopyWString(W(u"hello"), one.data(), 1), 0u);
  EXPECT_EQ(CopyWString(W(u"hello"), one.data(), 0), 0u);
  EXPECT_EQ(CopyWString(nullptr, one.data(), 2), 0u);
  EXPECT_EQ(one.u[0], kFill);
}

TEST(CopyWString, NarrowsToLowBytes) {
  std::array<char, 8> d;
  d.fill('#');
  EXPECT_EQ(CopyWString(W(u"hello"), d.data(), 3), 3u);
  EXPECT_STREQ(d.data(), "he");
  EXPECT_EQ(d[3], '#');
  EXPECT_EQ(CopyWString(W(u"\u0141\u00E9x"), d.data(), 8), 3u);
  EXPECT_EQ(std::string(d.data()), "\x41\xE9x");

  d.fill('#');
  EXPECT_EQ(CopyWString(W(u"hello"), d.data(), 0), 0u);  // no room: nothing written
  EXPECT_EQ(d[0], '#');
  EXPECT_EQ(CopyWString(W(u"hello"), d.data(), 1), 1u);
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(d[1], '#');
  EXPECT_EQ(CopyWString(W(u"hi"), static_cast<char*>(nullptr), 4), 0u);
  EXPECT_EQ(CopyWString(nullptr, d.data(), 4), 0u);
}

TEST(CopyWStringSecured, FillsTheTailWithRandomUnits) {
  Units d(8);
  CopyWStringSecured(W(u"ab"), d.data(), 16);
  EXPECT_EQ(d.text(), u"ab");
  EXPECT_EQ(d.u[2], 0);
  int unchanged = 0;
  for (int i = 3; i < 8; ++i) unchanged += d.u[i] == kFill ? 1 : 0;
  EXPECT_LT(unchanged, 5) << "the tail still holds the old contents";
  EXPECT_TRUE(d.guard_intact());

  // Two secured copies draw different tails.
  Units again(8);
  CopyWStringSecured(W(u"ab"), again.data(), 16);
  EXPECT_NE(std::memcmp(d.data() + 3, again.data() + 3, 10), 0);

  // A cut source fills nothing after the kept text.
  Units cut(3);
  CopyWStringSecured(W(u"hello"), cut.data(), 6);
  EXPECT_EQ(cut.text(), u"he");
  EXPECT_TRUE(cut.guard_intact());

  Units one(1);
  CopyWStringSecured(W(u"hello"), one.data(), 1);
  CopyWStringSecured(nullptr, one.data(), 2);
  EXPECT_EQ(one.u[0], kFill);
}

TEST(TrimSpaces, RemovesOnlyU0020AtBothEnds) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"  a b  ", u"a b"},           {u"   ", u""},    {u"\ta \t", u"\ta \t"},
      {u" \u00A0x\n ", u"\u00A0x\n"}, {u"abc", u"abc"}, {u"", u""}};
  for (auto [text, trimmed] : cases) {
    auto* units = reinterpret_cast<unsigned short*>(text.data());
    TrimSpaces(units);
    EXPECT_EQ(std::u16string(platform::WStringView(units)), trimmed);
  }
  TrimSpaces(nullptr);
}

TEST(CopyToStr, WritesUtf8) {
  std::array<char, 32> d;
  d.fill('#');
  CopyToStr(u"h\u00E9\u4E2D\U0001F600", d.data(), 32);
  EXPECT_EQ(std::string(d.data()), "h\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  // Cuts at every size, inside sequences too, are compared with a plain encoder below.
}

TEST(CopyToStr, TextWithoutUtf8FormGivesEmptyString) {
  std::array<char, 16> d;
  d.fill('#');
  CopyToStr(std::u16string(u"ab") + u'\xDC00', d.data(), 16);
  EXPECT_EQ(d[0], 0);
  // A lone surrogate beyond the cut still disqualifies the text.
  d.fill('#');
  CopyToStr(std::u16string(u"abcdef") + u'\xD800', d.data(), 3);
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(d[3], '#');

  d.fill('#');
  CopyToStr(u"abc", d.data(), 0);
  CopyToStr(u"abc", nullptr, 4);
  EXPECT_EQ(d[0], '#');
  CopyToStr(u"", d.data(), 1);
  EXPECT_EQ(d[0], 0);
}

// Plain UTF-8 of well-formed UTF-16, or nullopt at a lone surrogate.
std::optional<std::string> ReferenceUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c > 0xDBFF || i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
        return std::nullopt;
      }
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
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
    if (round % 25 == 24)
      text.insert(text.size() / 2, 1, static_cast<char16_t>(0xD800 + round % 2 * 0x400));
    const std::optional<std::string> expected = ReferenceUtf8(text);
    const unsigned full = static_cast<unsigned>(text.size() * 3 + 1);
    for (unsigned size = 1; size <= full + 1; ++size) {
      std::string out(size + 1, '#');
      CopyToStr(text, out.data(), size);
      ASSERT_EQ(out[size], '#') << "wrote past the buffer, round " << round << " size " << size;
      if (!expected.has_value()) {
        ASSERT_EQ(out[0], '\0') << round << " " << size;
        continue;
      }
      const std::size_t kept = std::min<std::size_t>(size - 1, expected->size());
      ASSERT_EQ(out.substr(0, kept), expected->substr(0, kept)) << round << " " << size;
      ASSERT_EQ(out[kept], '\0') << round << " " << size;
    }
  }
}

TEST(GetCString, AsciiFirstThenTheCodePage) {
  std::array<char, 16> d;
  d.fill('#');
  EXPECT_TRUE(GetCString(u"Привет", d.data(), 16, 1251));
  EXPECT_EQ(std::string(d.data()), "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_EQ(d[15], 0);

  d.fill('#');
  EXPECT_TRUE(GetCString(u"Caf\u00E9 \u20AC", d.data(), 16, 1252));
  EXPECT_EQ(std::string(d.data()), "Caf\xE9 \x80");

  // ASCII never needs the code page, even an unknown one.
  d.fill('#');
  EXPECT_TRUE(GetCString(u"plain", d.data(), 16, 65001));
  EXPECT_STREQ(d.data(), "plain");

  // Does not fit: false, no partial text, and still a terminator in the last byte.
  d.fill('#');
  EXPECT_FALSE(GetCString(u"too long", d.data(), 5, 1252));
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(d[4], 0);
  EXPECT_EQ(d[5], '#');
  d.fill('#');
  EXPECT_FALSE(GetCString(u"Привет", d.data(), 6, 1251));  // six bytes need a seventh
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(d[5], 0);

  // Unmappable in the code page, or not a code page: false.
  EXPECT_FALSE(GetCString(u"Привет", d.data(), 16, 1252));
  EXPECT_EQ(d[0], 0);
  EXPECT_FALSE(GetCString(u"\u00E9", d.data(), 16, 12345));

  d.fill('#');
  EXPECT_FALSE(GetCString(u"abc", d.data(), 0, 1252));
  EXPECT_FALSE(GetCString(u"abc", nullptr, 16, 1252));
  EXPECT_EQ(d[0], '#');
}

TEST(ClearSecured, OverwritesInPlaceKeepingTheLength) {
  String secret(40, u's');  // long enough to live on the heap
  const char16_t* storage = secret.data();
  ClearSecured(secret);
  EXPECT_EQ(secret.size(), 40u);
  EXPECT_EQ(secret.data(), storage) << "the old units must be overwritten where they were";
  EXPECT_NE(secret, String(40, u's'));

  String small(u"abcde");
  ClearSecured(small);
  EXPECT_EQ(small.size(), 5u);
  EXPECT_NE(small, u"abcde");

  String empty;
  ClearSecured(empty);
  EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace kelvane::NSTools
