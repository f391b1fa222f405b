// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/net/url.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace kelvane::platform {
namespace {

// The components in the order URLParts declares them; nothing when the text does not split.
std::vector<std::optional<String>> Split(std::u16string_view text) {
  const std::optional<URLParts> p = SplitURL(text);
  if (!p) return {};
  return {p->scheme,           p->user,  p->password, p->host, p->port, p->path,
          p->parameter_string, p->query, p->fragment};
}

// Reading a component of a parsed URL cannot fail, so it cannot throw out of the library.
static_assert(noexcept(std::declval<const URL&>().host()));

TEST(URL, SplitCutsEveryComponentAsWrittenAndParseAcceptsOnlyWellFormedText) {
  using Parts = std::vector<std::optional<String>>;
  // The password runs up to the last '@'; an IP literal keeps its brackets.
  const std::pair<std::u16string_view, Parts> cases[] = {
      {u"hTTp+x://us er:p@ss:w@rd@host name:0080/a;b/c d;e;f?g?h#i#j",
       {u"hTTp+x", u"us er", u"p@ss:w@rd", u"host name", u"0080", u"/a;b/c d", u"e;f", u"g?h",
        u"i#j"}},
      {u"mailto:a@b", {u"mailto", {}, {}, {}, {}, u"a@b", {}, {}, {}}},
      {u"x://u@[::1]:9", {u"x", u"u", {}, u"[::1]", u"9", u"", {}, {}, {}}},
      {u"x://h:?#", {u"x", {}, {}, u"h", u"", u"", {}, u"", u""}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Split(cases[i].first), cases[i].second) << "case " << i;
  }
  for (std::u16string_view bad : {u"", u":x", u"1a:x", u"a b:x", u"noscheme", u"x://h:1a",
                                  u"x://[::1", u"x://[::1]9", u"x://h:-1"}) {
    EXPECT_FALSE(SplitURL(bad).has_value());
  }

  const std::optional<URL> url = URL::Parse(u"https://u:p@[2001:db8::7]:65535/p%C3%A9?q=%2F#%7E");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ((std::tuple{url->host(), url->port(), url->user(), url->password(), url->path()}),
            std::tuple(u"2001:db8::7", 65535, u"u", u"p", u"/p%C3%A9"));
  EXPECT_EQ(url->absoluteString(), u"https://u:p@[2001:db8::7]:65535/p%C3%A9?q=%2F#%7E");

  const std::optional<URL> no_authority = URL::Parse(u"urn:isbn:0451450523");
  ASSERT_TRUE(no_authority.has_value());
  EXPECT_EQ((std::tuple{no_authority->host(), no_authority->port()}),
            std::tuple(std::nullopt, std::nullopt));
  EXPECT_TRUE(URL::Parse(u"x://[v1.fe:80]/").has_value());
  EXPECT_TRUE(URL::Parse(u"x://h:/").has_value());

  for (std::u16string_view bad :
       {u"http://h/a b", u"http://h/é", u"http://h/%", u"http://h/%4", u"http://h/%G0",
        u"http://h/a#b#c", u"http://h/<", u"http://h:65536/", u"http://[::1::2]/", u"http://[v.x]/",
        u"http://[v.xy]/", u"http://[vG.x]/", u"http://h[/", u"http://u@v@h/", u"http://h/\x7F",
        u"relative/path", u"http://h/a\tb"}) {
    EXPECT_FALSE(URL::Parse(bad).has_value());
  }
}

TEST(AddingPercentEncoding, EscapesUtf8BytesOutsideTheSet) {
  const CharacterSet& path = CharacterSet::URLPathAllowed();
  EXPECT_EQ(AddingPercentEncoding(u"/a b/ж", path), u"/a%20b/%D0%B6");
  EXPECT_EQ(AddingPercentEncoding(u"%", path), u"%25");
  EXPECT_EQ(AddingPercentEncoding(u"\U0001F600", path), u"%F0%9F%98%80");
  EXPECT_EQ(AddingPercentEncoding(u"\U0001F600", CharacterSet::FromCharacters(u"\U0001F600")),
            u"\U0001F600");
  EXPECT_EQ(AddingPercentEncoding(u"", path), u"");
  EXPECT_FALSE(AddingPercentEncoding(std::u16string(1, u'\xDC00'), path).has_value());
  EXPECT_FALSE(AddingPercentEncoding(std::u16string(u"\xD800") + u"a", path).has_value());
}

TEST(IsIPAddressText, NumericAddressesOfEachFamily) {
  // {text, IPv4, IPv6}. Text after a U+0000 is part of the text: no address ends early.
  // clang-format off
  const std::tuple<String, bool, bool> cases[] = {
      {u"192.168.0.1", true, false}, {u"::1", false, true}, {u"256.1.1.1", false, false},
      {u"", false, false}, {String(u"1.2.3.4\0junk", 12), false, false},
      {String(u"::1\0", 4), false, false}, {String(60, u'1'), false, false},
      {u"\uFF11.2.3.4", false, false}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& [text, ip4, ip6] = cases[i];
    EXPECT_EQ(IsIPAddressText(text, AddressFamily::kIPv4), ip4) << "case " << i;
    EXPECT_EQ(IsIPAddressText(text, AddressFamily::kIPv6), ip6) << "case " << i;
  }
}

}  // namespace
}  // namespace kelvane::platform
