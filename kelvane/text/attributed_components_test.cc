// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/attributed_components.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "kelvane/images/image_attachment.h"

namespace kelvane::NSTools {
namespace {

using platform::AttributedString;
using platform::TextAttributes;
using platform::TextRange;

TextAttributes Offset(double offset) {
  TextAttributes a;
  a.baseline_offset = offset;
  return a;
}

TEST(AttributedComponents, PiecesTakeOnlyTheAttributesThatFollowThem) {
  const TextAttributes d = Offset(1), d2 = Offset(2);
  auto price = initWithComponents({u"Price: ", d, u"10", nullptr});
  ASSERT_EQ(price.runs().size(), 2u);
  EXPECT_EQ(std::tuple(price.runs()[0].range, price.runs()[0].attributes),
            std::tuple(TextRange{0, 7}, d));
  EXPECT_TRUE(price.runs()[1].attributes.empty());  // not inherited from "Price: "

  auto twice = initWithComponents({u"a", d, d2});  // the second set follows no text piece
  EXPECT_EQ(twice.AttributesAt(0), d);
  auto leading = initWithComponents({d, u"a"});  // a set that comes first is ignored
  EXPECT_EQ(std::tuple(leading.string(), leading.AttributesAt(0)),
            std::tuple(String(u"a"), TextAttributes()));

  // An attributed piece keeps its own attributes and merges with the set after it.
  TextAttributes coloured;
  coloured.foreground_color = platform::Color::RGB(0, 1, 0, 1);
  AttributedString green(u"up", coloured);
  append(price, u" ", {green, d2, u"!", nullptr, u"never appended"});
  EXPECT_EQ(price.string(), u"Price: 10 up!");
  TextRange range;
  const TextAttributes up = price.AttributesAt(10, &range);
  EXPECT_EQ(range, (TextRange{10, 2}));
  TextAttributes merged = coloured;
  merged.baseline_offset = 2;
  EXPECT_EQ(up, merged);
}

// The string appended to itself, then one of its own attribute sets and its own text as pieces.
// Its runs and its text (longer than fits inside the string object) are moved by the first
// append, so AddressSanitizer catches any piece read from where they were.
TEST(AttributedComponents, PiecesMayBeTheStringItself) {
  TextAttributes pair = Offset(1);
  pair.foreground_color = platform::Color::RGB(0, 0, 1, 1);
  platform::MutableAttributedString s(u"EUR/USD 1.08", Offset(2));
  ASSERT_TRUE(s.SetAttributes(pair, {0, 7}));
  append(s, s, {s.runs()[0].attributes, u" = ", s.string(), nullptr});
  EXPECT_EQ(s.string(), u"EUR/USD 1.08EUR/USD 1.08 = EUR/USD 1.08");
  std::vector<TextRange> ranges;
  std::vector<TextAttributes> sets;
  for (const auto& run : s.runs()) {
    ranges.push_back(run.range);
    sets.push_back(run.attributes);
  }
  // The appended copy takes the pair's set over all of it; the plain pieces carry nothing.
  EXPECT_EQ(ranges, (std::vector<TextRange>{{0, 7}, {7, 5}, {12, 12}, {24, 15}}));
  EXPECT_EQ(sets, (std::vector<TextAttributes>{pair, Offset(2), pair, {}}));
}

TEST(AttributedComponents, ImageAttachmentCarriesItsOffsetOverItsWholeLength) {
  const auto image = platform::Image::Make(nullptr);
  auto text = Create::stringBaselineOffset(image, -2.5);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->string(), std::u16string(1, platform::kAttachmentCharacter));
  ASSERT_EQ(text->runs().size(), 1u);
  const TextAttributes& a = text->runs()[0].attributes;
  EXPECT_EQ(a.baseline_offset, -2.5);
  ASSERT_NE(a.attachment, nullptr);
  EXPECT_EQ(a.attachment->image->rendering_mode(), platform::kRenderingAlwaysTemplate);
  auto plain = Create::stringBaselineOffset(image, 1, false);
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->runs()[0].attributes.attachment->image, image);  // the image itself
  EXPECT_FALSE(Create::stringBaselineOffset(nullptr, 1).has_value());
}

}  // namespace
}  // namespace kelvane::NSTools
