// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/url_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "kelvane/platform/i18n/unicode.h"

namespace kelvane {
namespace {

using platform::CharacterSet;

std::string Narrow(const String& text) {
  std::string out;
  if (!platform::Utf16ToUtf8(text, out)) out = "<ill-formed>";
  return out;
}

TEST(URLEncoded, FormAndMultipartEncodingByByteClass) {
  // {text, URLEncoded, EncodedForMultipart}: form encoding writes a space as '+'; unpaired
  // surrogates have no UTF-8 form.
  using Encoded = std::optional<String>;
  // clang-format off
  const std::tuple<String, Encoded, Encoded> cases[] = {
      {u"a b&c", u"a+b%26c", u"a%20b%26c"}, {u"x~y_z-1.2", u"x~y_z-1.2", u"x%7Ey_z-1.2"},
      {u"*", u"%2A", u"*"}, {u"", u"", u""},
      {String(u"\0\x7F", 2), u"%00%7F", u"%00%7F"},
      {u"€\uFFFF", u"%E2%82%AC%EF%BF%BF", u"%E2%82%AC%EF%BF%BF"},
      {u"\u0080\u07FF\u0800", u"%C2%80%DF%BF%E0%A0%80", u"%C2%80%DF%BF%E0%A0%80"},
      {u"%+=\n\U0010FFFF", u"%25%2B%3D%0A%F4%8F%BF%BF", u"%25%2B%3D%0A%F4%8F%BF%BF"},
      {String(1, u'\xD800'), std::nullopt, std::nullopt},
      {String(u"\xD83D") + u"x", std::nullopt, std::nullopt}};
  // clang-format on
  for (const auto& [text, url, multipart] : cases) {
    EXPECT_EQ(NSTools::URLEncoded(text), url) << Narrow(text);
    EXPECT_EQ(NSTools::EncodedForMultipart(text), multipart) << Narrow(text);
  }
  // A lead surrogate ending the text is refused without reading the unit after it.
  EXPECT_EQ(NSTools::URLEncoded(std::u16string_view(u"\U0001F600", 1)), std::nullopt);
}

TEST(URL, RebuildsTypedAddressesWithoutUserInformationAndRejectsTheRest) {
  const std::optional<platform::URL> url =
      NSTools::URL(u"http://trader:s3cr@t@quotes.example.com:8080/a/b?q=1#f");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->absoluteString(), u"http://quotes.example.com:8080/a/b?q=1#f");
  EXPECT_EQ(std::tuple(url->user(), url->password()),
            std::tuple(std::optional<String>(), std::optional<String>()));

  // {typed, rebuilt}: what users type is encoded, what is encoded already is kept. Existing
  // escapes keep their meaning: a '/' inside a segment and an '&' inside a value stay escaped,
  // escaped unreserved characters are written plainly, hex digits become upper case. An empty
  // port is no port; an empty query and fragment are kept.
  // clang-format off
  const std::pair<std::u16string_view, const char*> cases[] = {
      {u"https://h", "https://h"}, {u"http://h:08080/", "http://h:8080/"},
      {u"http://h:/x", "http://h/x"}, {u"http://u@h?#", "http://h?#"},
      {u"http://h/my file.txt?q=a b#sec 2", "http://h/my%20file.txt?q=a%20b#sec%202"},
      {u"http://h/a%2fb?v=x%26y&w=%7e%41", "http://h/a%2Fb?v=x%26y&w=~A"},
      {u"http://h/100%?p=%zz&q=%4", "http://h/100%25?p=%25zz&q=%254"}};
  // clang-format on
  for (const auto& [typed, rebuilt] : cases) {
    const std::optional<platform::URL> once = NSTools::URL(typed);
    ASSERT_TRUE(once.has_value()) << rebuilt;
    EXPECT_EQ(Narrow(once->absoluteString()), rebuilt);
    EXPECT_EQ(NSTools::URL(once->absoluteString()), once) << rebuilt;  // a rerun changes nothing
  }

  // What is no address; which texts split into parts is the platform's to test.
  for (std::u16string_view text :
       {u"", u"server/path", u"file:///tmp/x", u"mailto:someone@example.com", u"http://h:65536/"}) {
    EXPECT_FALSE(NSTools::URL(text).has_value()) << Narrow(String(text));
  }
  EXPECT_TRUE(NSTools::URL(u"http://h:65535/").has_value());
  EXPECT_FALSE(NSTools::URL(String(u"http://h/") + u'\xD800').has_value());
}

TEST(TextFilters, NonBreakingAllowedCharactersAndSafePaths) {
  EXPECT_EQ(NSTools::NonBreakingString(u"a b  c"), u"a\u00A0b\u00A0\u00A0c");
  EXPECT_EQ(NSTools::NonBreakingString(u"a\tb\u2003c\n"), u"a\tb\u2003c\n");

  // Allowed characters are tested unit by unit.
  EXPECT_EQ(NSTools::FilteredForAllowedCharacters(u"a1-b٣2", CharacterSet::DecimalDigits()),
            u"1٣2");
  // A set holding a supplementary code point does not hold its surrogate halves.
  const CharacterSet emoji = CharacterSet::FromCharacters(u"\U0001F600a");
  EXPECT_EQ(NSTools::FilteredForAllowedCharacters(u"\U0001F600a", emoji), u"a");
  const CharacterSet halves = CharacterSet::FromRange(0xD800, 0xDFFF);
  EXPECT_EQ(NSTools::FilteredForAllowedCharacters(u"x\U0001F600y", halves), u"\U0001F600");

  // SafePath: nothing after a U+0000 is lost; the text keeps its length.
  const std::pair<String, String> cases[] = {{u"a/b:c?.txt", u"a_b_c_.txt"},
                                             {u"<>:\"'\\|/?*", u"__________"},
                                             {u"", u""},
                                             {String(u"a\0b/c", 5), String(u"a\0b_c", 5)}};
  for (auto [name, safe] : cases) {
    NSTools::SafePath(name);
    EXPECT_EQ(name, safe);
  }
}

TEST(CharacterSets, QueryParameterAndMultipartSetsAndTheirMembers) {
  const CharacterSet& query = NSTools::AllowedURLQueryParameter();
  const CharacterSet& multipart = NSTools::AllowedMultipart();
  EXPECT_EQ(query.Size(), 68u);
  EXPECT_EQ(multipart.Size(), 66u);
  for (char16_t c : std::u16string_view(u"-._~/?")) EXPECT_TRUE(query.Contains(c)) << char(c);
  for (char16_t c : std::u16string_view(u"*&=+% ")) EXPECT_FALSE(query.Contains(c)) << char(c);
  for (char16_t c : std::u16string_view(u"*-._")) EXPECT_TRUE(multipart.Contains(c)) << char(c);
  for (char16_t c : std::u16string_view(u"~/? %")) EXPECT_FALSE(multipart.Contains(c)) << char(c);

  // allCharacters: in code point order, across planes, with the surrogate range left out.
  EXPECT_EQ(NSTools::allCharacters(CharacterSet::FromCharacters(u"b\U0010FFFF\U0001F600a")),
            (std::vector<String>{u"a", u"b", u"\U0001F600", u"\U0010FFFF"}));
  EXPECT_EQ(NSTools::allCharacters(CharacterSet::FromRange(0xD7FF, 0xE000)),
            (std::vector<String>{u"\uD7FF", u"\uE000"}));
}

// Which texts are addresses is the platform's; here, that each function asks for its families.
TEST(Network, NumericAddresses) {
  using namespace Network;
  EXPECT_EQ(std::tuple(IsValidIP4Address(u"1.2.3.4"), IsValidIP6Address(u"1.2.3.4"),
                       IsValidIPAddress(u"1.2.3.4")),
            std::tuple(true, false, true));
  EXPECT_EQ(
      std::tuple(IsValidIP4Address(u"::1"), IsValidIP6Address(u"::1"), IsValidIPAddress(u"::1")),
      std::tuple(false, true, true));
}

}  // namespace
}  // namespace kelvane
