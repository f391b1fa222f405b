#include "kelvane/text/buffer_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

namespace kelvane::NSTools {
namespace {

constexpr unsigned short kFill = 0xABCD;

// A WString buffer of N units prefilled with kFill, with one guard unit after it.
template <std::size_t N>
struct Units {
  std::array<unsigned short, N + 1> u;
  Units() { u.fill(kFill); }
  unsigned short* data() { return u.data(); }
  unsigned int bytes() const { return static_cast<unsigned int>(N * 2); }
  std::u16string text() const { return std::u16string(platform::WStringView(u.data())); }
  bool guard_intact() const { return u[N] == kFill; }
};

const unsigned short* W(const char16_t* s) { return reinterpret_cast<const unsigned short*>(s); }

TEST(CopyString, CutsToCapacityMinusTerminator) {
  Units<3> small;
  EXPECT_EQ(CopyString(u"hello", small.data(), 6), 2u);
  EXPECT_EQ(small.text(), u"he");
  EXPECT_TRUE(small.guard_intact());

  Units<6> exact;
  EXPECT_EQ(CopyString(u"hello", exact.data(), 12), 5u);
  EXPECT_EQ(exact.text(), u"hello");

  Units<5> tight;  // five units: four characters and the terminator
  EXPECT_EQ(CopyTo(String(u"hello"), tight.data(), 10), 4u);
  EXPECT_EQ(tight.text(), u"hell");
  EXPECT_TRUE(tight.guard_intact());

  // An odd size is rounded down to whole units.
  Units<3> odd;
  EXPECT_EQ(CopyString(u"hello", odd.data(), 7), 2u);
  EXPECT_TRUE(odd.guard_intact());

  // Surrogate pairs are copied unit by unit like any other units.
  Units<4> pair;
  EXPECT_EQ(CopyString(u"a\U0001F600", pair.data(), 8), 3u);
  EXPECT_EQ(pair.text(), u"a\U0001F600");
}

TEST(CopyString, NeverWritesWithoutRoomForTheTerminator) {
  Units<1> one;
  EXPECT_EQ(CopyString(u"hello", one.data(), 0), 0u);
  EXPECT_EQ(CopyString(u"hello", one.data(), 1), 0u);
  EXPECT_EQ(one.u[0], kFill);
  EXPECT_EQ(CopyString(std::nullopt, one.data(), 2), 0u);
  EXPECT_EQ(CopyString(u"x", nullptr, 2), 0u);
  EXPECT_EQ(one.u[0], kFill);
  // Two bytes hold only the terminator.
  EXPECT_EQ(CopyString(u"hello", one.data(), 2), 0u);
  EXPECT_EQ(one.u[0], 0);
  EXPECT_TRUE(one.guard_intact());
}

TEST(CopyWString, ResultEqualToCapacityMeansCut) {
  Units<3> three;
  EXPECT_EQ(CopyWString(W(u"hello"), three.data(), 6), 3u);
  EXPECT_EQ(three.text(), u"he");

  Units<6> six;
  EXPECT_EQ(CopyWString(W(u"hello"), six.data(), 12), 5u);
  EXPECT_EQ(six.text(), u"hello");

  Units<5> five;
  EXPECT_EQ(CopyWString(W(u"hello"), five.data(), 10), 5u);
  EXPECT_EQ(five.text(), u"hell");
  EXPECT_TRUE(five.guard_intact());

  // The last unit is cleared even when the text ended early; units in between keep their fill.
  Units<6> gap;
  EXPECT_EQ(CopyWString(W(u"ab"), gap.data(), 12), 2u);
  EXPECT_EQ(gap.u[2], 0);
  EXPECT_EQ(gap.u[3], kFill);
  EXPECT_EQ(gap.u[5], 0);

  Units<1> one;
  EXPECT_EQ(CopyWString(W(u"hello"), one.data(), 1), 0u);
  EXPECT_EQ(CopyWString(W(u"hello"), one.data(), 0), 0u);
  EXPECT_EQ(one.u[0], kFill);
  EXPECT_EQ(CopyWString(nullptr, one.data(), 2), 0u);
  EXPECT_EQ(one.u[0], kFill);
}

TEST(CopyWString, NarrowsToLowBytes) {
  std::array<char, 8> d;
  d.fill('#');
  EXPECT_EQ(CopyWString(W(u"hello"), d.data(), 3), 3u);
  EXPECT_STREQ(d.data(), "he");
  EXPECT_EQ(d[3], '#');

  d.fill('#');
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
  Units<8> d;
  CopyWStringSecured(W(u"ab"), d.data(), 16);
  EXPECT_EQ(d.text(), u"ab");
  EXPECT_EQ(d.u[2], 0);
  int unchanged = 0;
  for (int i = 3; i < 8; ++i) unchanged += d.u[i] == kFill ? 1 : 0;
  EXPECT_LT(unchanged, 5) << "the tail still holds the old contents";
  EXPECT_TRUE(d.guard_intact());

  // Two secured copies draw different tails.
  Units<8> again;
  CopyWStringSecured(W(u"ab"), again.data(), 16);
  EXPECT_NE(std::memcmp(d.data() + 3, again.data() + 3, 10), 0);

  // A cut source fills nothing after the kept text.
  Units<3> cut;
  CopyWStringSecured(W(u"hello"), cut.data(), 6);
  EXPECT_EQ(cut.text(), u"he");
  EXPECT_TRUE(cut.guard_intact());

  Units<1> one;
  CopyWStringSecured(W(u"hello"), one.data(), 1);
  CopyWStringSecured(nullptr, one.data(), 2);
  EXPECT_EQ(one.u[0], kFill);
}

TEST(TrimSpaces, RemovesOnlyU0020AtBothEnds) {
  auto trim = [](std::u16string text) {
    TrimSpaces(reinterpret_cast<unsigned short*>(text.data()));
    return std::u16string(platform::WStringView(reinterpret_cast<unsigned short*>(text.data())));
  };
  EXPECT_EQ(trim(u"  a b  "), u"a b");
  EXPECT_EQ(trim(u"   "), u"");
  EXPECT_EQ(trim(u"\ta \t"), u"\ta \t");
  EXPECT_EQ(trim(u" \u00A0x\n "), u"\u00A0x\n");
  EXPECT_EQ(trim(u"abc"), u"abc");
  EXPECT_EQ(trim(u""), u"");
  TrimSpaces(nullptr);
}

TEST(CopyToStr, WritesUtf8AndCutsAtTheByteLimit) {
  std::array<char, 32> d;
  d.fill('#');
  CopyToStr(u"h\u00E9\u4E2D\U0001F600", d.data(), 32);
  EXPECT_EQ(std::string(d.data()), "h\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");

  // Exactly the text plus the terminator.
  d.fill('#');
  CopyToStr(u"abc", d.data(), 4);
  EXPECT_STREQ(d.data(), "abc");
  EXPECT_EQ(d[4], '#');

  // Cut inside a multi-byte sequence: the first size - 1 bytes are kept.
  d.fill('#');
  CopyToStr(u"a\u4E2D", d.data(), 3);
  EXPECT_EQ(std::string(d.data()), "a\xE4");
  EXPECT_EQ(d[3], '#');

  // Long ASCII runs go through the wide path; cut at every size and compare with a prefix.
  const std::u16string text = u"The quick brown fox \u0436\u0443\u043A jumps over the dog";
  std::string full(128, '\0');
  CopyToStr(text, full.data(), 128);
  full.resize(std::strlen(full.c_str()));
  for (unsigned size = 1; size <= full.size() + 2; ++size) {
    std::string out(size + 1, '#');
    CopyToStr(text, out.data(), size);
    const std::size_t kept = std::min<std::size_t>(size - 1, full.size());
    EXPECT_EQ(out.substr(0, kept), full.substr(0, kept)) << size;
    EXPECT_EQ(out[kept], '\0') << size;
    EXPECT_EQ(out[size], '#') << size;
  }
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
