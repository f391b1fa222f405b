// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane {
namespace {

TEST(Utf8, RoundTripsEveryEncodedLengthAndRefusesMalformedText) {
  // One to four bytes, the edges of each length, and U+0000 inside the text.
  static const char kBytes[] =
      "a\0\x7F\xC2\x80\xDF\xBF\xD0\x96\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  const String text = String(u"a") + u'\0' +
                      u"\u007F\u0080\u07FF\u0416\u0800\uFFFF\U00010000"
                      u"\U0010FFFF";
  EXPECT_EQ(StringFromUtf8(bytes), text);
  EXPECT_EQ(Utf8FromString(text), bytes);
  EXPECT_EQ(StringFromUtf8(""), String());
  EXPECT_EQ(Utf8FromString(u""), std::string());

  // Overlong forms, encoded surrogates, past U+10FFFF, cut sequences, stray continuations and
  // bytes that never occur, alone and after a valid prefix.
  for (const char* bad : {"\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",
                          "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xE2\x82",
                          "\xF0\x9F\x98", "\x80", "\xBF", "\xFE", "\xFF", "\xF8\x88\x80\x80\x80"}) {
    EXPECT_EQ(StringFromUtf8(bad), std::nullopt) << bad;
    EXPECT_EQ(StringFromUtf8(std::string("ok") + bad), std::nullopt) << bad;
  }
  for (const String& lone :
       {String(1, char16_t{0xD800}), String(u"a") + char16_t{0xDC00},
        String(u"\U0001F600") + char16_t{0xD83D}, String{char16_t{0xDE00}, char16_t{0xD83D}}}) {
    EXPECT_EQ(Utf8FromString(lone), std::nullopt);
  }
}

}  // namespace
}  // namespace kelvane
