// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/characters.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane::platform {
namespace {

TEST(Characters, ComposedLengthsFollowExtendedGraphemeClusters) {
  std::u16string text = u"ae\u0301\U0001F1E9\U0001F1EA\U0001F468\u200D\U0001F469?x";
  text[12] = 0xD800;
  // a | e + mark | flag (two pairs) | man ZWJ woman | lone lead surrogate | x | end
  const std::pair<std::size_t, std::size_t> cases[] = {{0, 1},  {1, 2},  {3, 4},  {7, 5},
                                                       {12, 1}, {13, 1}, {14, 0}, {99, 0}};
  for (const auto& [index, length] : cases) {
    EXPECT_EQ(ComposedCharacterLength(text, index), length) << index;
  }
}

TEST(Characters, UpperCasingIsFullAndIndependentOfTheLanguage) {
  EXPECT_EQ(UppercaseString(u"stra\u00DFe i \u0131 \u0436"), u"STRASSE I I \u0416");
  EXPECT_EQ(UppercaseString(u"\u0149"), u"\u02BCN");  // one letter becomes two
  EXPECT_EQ(UppercaseString(u""), u"");
  std::u16string lone = u"a?";
  lone[1] = 0xDC00;
  std::u16string upper_lone = lone;
  upper_lone[0] = u'A';
  EXPECT_EQ(UppercaseString(lone), upper_lone);  // a lone surrogate is kept
}

}  // namespace
}  // namespace kelvane::platform
