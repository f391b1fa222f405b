#include "kelvane/platform/net/url.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

namespace kelvane::platform {
namespace {

TEST(SplitURL, CutsEveryComponentAsWritten) {
  const std::optional<URLParts> parts =
      SplitURL(u"hTTp+x://us er:p@ss:w@rd@host name:0080/a;b/c d;e;f?g?h#i#j");
  ASSERT_TRUE(parts.has_value());
  EXPECT_EQ(parts->scheme, u"hTTp+x");
  EXPECT_EQ(parts->user, u"us er");
  EXPECT_EQ(parts->password, u"p@ss:w@rd");  // up to the last '@'
  EXPECT_EQ(parts->host, u"host name");
  EXPECT_EQ(parts->port, u"0080");
  EXPECT_EQ(parts->path, u"/a;b/c d");
  EXPECT_EQ(parts->parameter_string, u"e;f");
  EXPECT_EQ(parts->query, u"g?h");
  EXPECT_EQ(parts->fragment, u"i#j");

  const std::optional<URLParts> bare = SplitURL(u"mailto:a@b");
  ASSERT_TRUE(bare.has_value());
  EXPECT_FALSE(bare->host.has_value());
  EXPECT_EQ(bare->path, u"a@b");
  EXPECT_FALSE(bare->query.has_value());

  const std::optional<URLParts> literal = SplitURL(u"x://u@[::1]:9");
  ASSERT_TRUE(literal.has_value());
  EXPECT_EQ(literal->user, u"u");
  EXPECT_FALSE(literal->password.has_value());
  EXPECT_EQ(literal->host, u"[::1]");
  EXPECT_EQ(literal->port, u"9");
  EXPECT_EQ(literal->path, u"");

  const std::optional<URLParts> empty = SplitURL(u"x://h:?#");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->port, u"");
  EXPECT_EQ(empty->query, u"");
  EXPECT_EQ(empty->fragment, u"");

  for (std::u16string_view bad : {u"", u":x", u"1a:x", u"a b:x", u"noscheme", u"x://h:1a",
                                  u"x://[::1", u"x://[::1]9", u"x://h:-1"}) {
    EXPECT_FALSE(SplitURL(bad).has_value());
  }
}

// Reading a component of a parsed URL cannot fail, so it cannot throw out of the library.
static_assert(noexcept(std::declval<const URL&>().host()));

TEST(URLParse, AcceptsOnlyWellFormedText) {
  const std::optional<URL> url = URL::Parse(u"https://u:p@[2001:db8::7]:65535/p%C3%A9?q=%2F#%7E");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->host(), u"2001:db8::7");
  EXPECT_EQ(url->port(), 65535);
  EXPECT_EQ(url->user(), u"u");
  EXPECT_EQ(url->password(), u"p");
  EXPECT_EQ(url->path(), u"/p%C3%A9");
  EXPECT_EQ(url->absoluteString(), u"https://u:p@[2001:db8::7]:65535/p%C3%A9?q=%2F#%7E");

  const std::optional<URL> no_authority = URL::Parse(u"urn:isbn:0451450523");
  ASSERT_TRUE(no_authority.has_value());
  EXPECT_FALSE(no_authority->host().has_value());
  EXPECT_FALSE(no_authority->port().has_value());
  EXPECT_TRUE(URL::Parse(u"x://[v1.fe:80]/").has_value());
  EXPECT_TRUE(URL::Parse(u"x://h:/").has_value());

  for (std::u16string_view bad :
       {u"http://h/a b", u"http://h/é", u"http://h/%", u"http://h/%4", u"http://h/%G0",
        u"http://h/a#b#c", u"http://h/<", u"http://h:65536/", u"http://[::1::2]/", u"http://[v.x]/",
        u"http://[vG.x]/", u"http://h[/", u"http://u@v@h/", u"http://h/\x7F", u"relative/path",
        u"http://h/a\tb"}) {
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
      {u"192.168.0.1", true, false}, {u"0.0.0.0", true, false},   {u"::1", false, true},
      {u"fe80::1", false, true},     {u"::ffff:192.168.0.1", false, true},
      {u"192.168.0", false, false},  {u"256.1.1.1", false, false}, {u"", false, false},
      {u"1.2.3.4 ", false, false},   {u" 1.2.3.4", false, false},  {u"1.2.3.4.5", false, false},
      {u"01.2.3.4x", false, false},  {u"[::1]", false, false},     {u"fe80::1%eth0", false, false},
      {u"1::2::3", false, false},    {u"example.com", false, false},
      {String(u"1.2.3.4\0junk", 12), false, false}, {String(u"::1\0", 4), false, false},
      {String(60, u'1'), false, false}, {u"\uFF11.2.3.4", false, false}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& [text, ip4, ip6] = cases[i];
    EXPECT_EQ(IsIPAddressText(text, AddressFamily::kIPv4), ip4) << "case " << i;
    EXPECT_EQ(IsIPAddressText(text, AddressFamily::kIPv6), ip6) << "case " << i;
  }
}

}  // namespace
}  // namespace kelvane::platform
