// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/charset.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace kelvane::platform {
namespace {

// The units of `units` that `set` holds, in order.
std::u16string Members(const CharacterSet& set, std::u16string_view units) {
  std::u16string held;
  for (char16_t u : units) {
    if (set.Contains(u)) held.push_back(u);
  }
  return held;
}

// The planes 0 to 17 in which `set` has members.
std::vector<int> Planes(const CharacterSet& set) {
  std::vector<int> planes;
  for (int plane = 0; plane <= 17; ++plane) {
    if (set.HasMemberInPlane(plane)) planes.push_back(plane);
  }
  return planes;
}

TEST(CharacterSet, MembershipOfCharactersPairsAndRanges) {
  const CharacterSet set = CharacterSet::FromCharacters(u"|;\U0001F600");
  EXPECT_EQ(Members(set, u"|;,"), u"|;");
  EXPECT_EQ(set.Size(), 3u);
  // The pair added its code point, not its halves; a lone surrogate is kept as the unit it is.
  EXPECT_TRUE(set.ContainsCodePoint(0x1F600));
  EXPECT_EQ(Members(set, u"\xD83D\xDE00"), u"");
  EXPECT_FALSE(set.ContainsCodePoint(0x110000));
  EXPECT_TRUE(CharacterSet::FromCharacters(std::u16string(1, u'\xD800')).Contains(u'\xD800'));
  EXPECT_FALSE(CharacterSet().Contains(u'a'));
  EXPECT_EQ(CharacterSet::FromCharacters(u"").Size(), 0u);

  const CharacterSet copy = CharacterSet::FromRange(U'0', U'9');  // copies share the content
  EXPECT_EQ(Members(copy, u"/09:"), u"09");
  EXPECT_EQ(CharacterSet::FromRange(U'9', U'0').Size(), 0u);
  EXPECT_EQ(CharacterSet::FromRange(0x10FFFE, 0x7FFFFFFF).Size(), 2u);
}

TEST(CharacterSet, WhitespaceSetsTellLineBreaksApart) {
  const CharacterSet& space = CharacterSet::Whitespace();
  const CharacterSet& both = CharacterSet::WhitespaceAndNewlines();
  for (char16_t u : {u' ', u'\t', u'\u00A0', u'\u2003', u'\u3000'}) {
    EXPECT_TRUE(space.Contains(u)) << static_cast<int>(u);
    EXPECT_TRUE(both.Contains(u)) << static_cast<int>(u);
  }
  for (char16_t u : {u'\n', u'\r', u'\v', u'\f', u'\u0085', u'\u2028', u'\u2029'}) {
    EXPECT_FALSE(space.Contains(u)) << static_cast<int>(u);
    EXPECT_TRUE(both.Contains(u)) << static_cast<int>(u);
  }
  for (char16_t u : {u'a', u'_', u'\u200B', u'\0'}) {
    EXPECT_FALSE(both.Contains(u)) << static_cast<int>(u);
  }
}

TEST(CharacterSet, DecimalDigitsOfEveryScriptAndPlanes) {
  const CharacterSet& digits = CharacterSet::DecimalDigits();
  for (char16_t u : {u'0', u'9', u'\u0660', u'\u0969', u'\uFF10'}) EXPECT_TRUE(digits.Contains(u));
  // Not superscripts or numerals.
  for (char16_t u : {u'/', u':', u'a', u'\u00B2', u'\u2160'}) EXPECT_FALSE(digits.Contains(u));
  EXPECT_TRUE(digits.ContainsCodePoint(0x1D7CE));  // mathematical bold digit zero
  EXPECT_EQ(Planes(digits), (std::vector{0, 1}));
  EXPECT_EQ(Planes(CharacterSet::FromCharacters(u"\U00010000\U0010FFFF")), (std::vector{1, 16}));
  EXPECT_EQ(Planes(CharacterSet()), std::vector<int>());
}

TEST(CharacterSet, URLComponentSetsFollowTheGrammar) {
  const CharacterSet& host = CharacterSet::URLHostAllowed();
  const CharacterSet& path = CharacterSet::URLPathAllowed();
  const CharacterSet& query = CharacterSet::URLQueryAllowed();
  const CharacterSet& fragment = CharacterSet::URLFragmentAllowed();
  // 66 unreserved, 11 sub-delims, and the component's own delimiters.
  EXPECT_EQ(std::vector<std::size_t>({host.Size(), path.Size(), query.Size(), fragment.Size()}),
            std::vector<std::size_t>({80, 80, 81, 81}));
  // Each set's members among the unreserved and sub-delims, the delimiters, and what no
  // component allows.
  const std::u16string common = u"aZ09-._~!$&'()*+,;=";
  const std::u16string_view delimiters = u"[]:/@?", never = u"%#\" \"<>\\^`{|}\u00E9";
  using Sets = std::vector<std::u16string>;
  const auto members = [&](std::u16string_view units) {
    return Sets{Members(host, units), Members(path, units), Members(query, units),
                Members(fragment, units)};
  };
  EXPECT_EQ(members(common), Sets(4, common));
  EXPECT_EQ(members(delimiters), (Sets{u"[]:", u":/@", u":/@?", u":/@?"}));
  EXPECT_EQ(members(never), Sets(4, u""));
}

TEST(CodePage, EncodesTheWindowsCodePagesStrictly) {
  EXPECT_EQ(EncodeCodePage(u"Привет", 1251), std::string("\xCF\xF0\xE8\xE2\xE5\xF2"));
  EXPECT_EQ(EncodeCodePage(u"café €", 1252), std::string("caf\xE9 \x80"));
  EXPECT_EQ(EncodeCodePage(u"日本", 932), std::string("\x93\xFA\x96\x7B"));
  EXPECT_EQ(EncodeCodePage(u"", 1251), std::string());

  // No substitution byte and no best fit: an unmappable character fails the whole text.
  EXPECT_FALSE(EncodeCodePage(u"café", 1251).has_value());
  EXPECT_FALSE(EncodeCodePage(u"Привет", 1252).has_value());
  EXPECT_FALSE(EncodeCodePage(u"\u0101", 1252).has_value());
  EXPECT_FALSE(EncodeCodePage(std::u16string(u"a\xD800") + u"b", 1252).has_value());

  // Only the Windows code pages are served.
  for (unsigned cp : {874u, 932u, 936u, 949u, 950u, 1250u, 1254u, 1258u}) {
    EXPECT_TRUE(IsSupportedCodePage(cp)) << cp;
    EXPECT_TRUE(EncodeCodePage(u"abc", cp).has_value()) << cp;
  }
  for (unsigned cp : {0u, 437u, 1249u, 1259u, 65001u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(IsSupportedCodePage(cp)) << cp;
    EXPECT_FALSE(EncodeCodePage(u"abc", cp).has_value()) << cp;
  }
}

}  // namespace
}  // namespace kelvane::platform
