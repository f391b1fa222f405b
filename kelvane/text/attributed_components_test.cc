#include "kelvane/text/attributed_components.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(price.string(), u"Price: 10");
  ASSERT_EQ(price.runs().size(), 2u);
  EXPECT_TRUE(price.runs()[0].range == (TextRange{0, 7}) && price.runs()[0].attributes == d);
  EXPECT_TRUE(price.runs()[1].attributes.empty());  // not inherited from "Price: "

  auto twice = initWithComponents({u"a", d, d2});  // the second set follows no text piece
  EXPECT_EQ(twice.AttributesAt(0), d);
  auto leading = initWithComponents({d, u"a"});  // a set that comes first is ignored
  EXPECT_TRUE(leading.string() == u"a" && leading.AttributesAt(0).empty());

  // An attributed piece keeps its own attributes and merges with the set after it.
  TextAttributes coloured;
  coloured.foreground_color = platform::Color::RGB(0, 1, 0, 1);
  AttributedString green(u"up", coloured);
  append(price, u" ", {green, d2, u"!", nullptr, u"never appended"});
  EXPECT_EQ(price.string(), u"Price: 10 up!");
  TextRange range;
  const TextAttributes up = price.AttributesAt(10, &range);
  EXPECT_EQ(range, (TextRange{10, 2}));
  EXPECT_TRUE(up.foreground_color == coloured.foreground_color && up.baseline_offset == 2)
      << up.baseline_offset.value_or(0);
  EXPECT_TRUE(price.AttributesAt(12).empty());
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
