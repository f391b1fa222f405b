// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/fonts/text_layout.h"

#include <gtest/gtest.h>

#include <functional>

#include "kelvane/images/image_attachment.h"
#include "kelvane/platform/graphics/image_surfaces.h"

namespace kelvane::platform {
namespace {

AttributedString Text(std::u16string_view text, FontRef font, int mode = 0) {
  TextAttributes a;
  a.font = std::move(font);
  a.paragraph_style = ParagraphStyle{kTextAlignmentNatural, mode};
  return AttributedString(text, a);
}

// Draws on a transparent surface of `size` points at scale 1.
ImageRef Render(Size size, const std::function<void()>& draw) {
  EXPECT_TRUE(BeginImageContext(size));
  draw();
  ImageRef image = GetImageFromCurrentImageContext();
  EndImageContext();
  return image;
}

// The topmost row holding a pixel that matches, or -1.
int TopRow(const Image& image, const std::function<bool(std::uint32_t)>& match) {
  const Raster& r = *image.raster();
  for (std::uint32_t y = 0; y < r.height(); ++y) {
    for (std::uint32_t x = 0; x < r.width(); ++x) {
      if (match(r.PremultipliedPixel(x, y))) return static_cast<int>(y);
    }
  }
  return -1;
}

TEST(TextLayout, LineBreakModesShapeTheBoundingRect) {
  FontRef font = Font::System(12);
  const std::u16string text = u"one two three four five six seven eight nine tén";
  const Size line = MeasureText(Text(text, font));
  ASSERT_GT(line.width, 100);
  const Size limit{100, 0};
  const Rect wrapped = BoundingRect(Text(text, font), limit, kTextUsesLineFragmentOrigin);
  EXPECT_LE(wrapped.width, 100);
  EXPECT_GE(wrapped.height, 3 * line.height);
  for (int mode :
       {kLineBreakByTruncatingHead, kLineBreakByTruncatingTail, kLineBreakByTruncatingMiddle}) {
    const Rect one = BoundingRect(Text(text, font, mode), limit, kTextUsesLineFragmentOrigin);
    EXPECT_EQ(one.height, line.height) << mode;
    EXPECT_LE(one.width, 100) << mode;
  }
  // A height limit leaves out the lines below it, but never the first.
  EXPECT_EQ(
      BoundingRect(Text(text, font), {100, line.height * 2.5}, kTextUsesLineFragmentOrigin).height,
      2 * line.height);
  EXPECT_EQ(BoundingRect(Text(text, font), {100, 1}, kTextUsesLineFragmentOrigin).height,
            line.height);
  // Without the line-fragment origin: one line, origin on the baseline.
  const Rect single = BoundingRect(Text(text, font), limit, 0);
  EXPECT_EQ(single.width, line.width);
  EXPECT_LT(single.y, 0);
}

TEST(TextLayout, AttachmentsDrawOnTheBaselineRaisedByTheirOffset) {
  const ImageRef blue = Render({6, 6}, [] {
    GetCurrentContext()->SetFillColor(0, 0, 1, 1);
    GetCurrentContext()->FillRect({0, 0, 6, 6});
  });
  ASSERT_NE(blue, nullptr);
  auto is_blue = [](std::uint32_t p) { return p == 0xFF0000FFu; };
  auto top_of = [&](double offset) {
    // Beside 30-point text, so that the line's height stays that of the text.
    MutableAttributedString text(Text(u"H", Font::System(30)));
    auto attachment = Create::stringBaselineOffset(blue, offset, false);
    EXPECT_TRUE(attachment.has_value());
    text.Append(*attachment);
    const ImageRef drawn = Render({60, 60}, [&] { DrawText(text, {0, 10, 60, 50}); });
    return TopRow(*drawn, is_blue);
  };
  const int level = top_of(0);
  ASSERT_GE(level, 10);  // inside the rectangle
  EXPECT_EQ(top_of(5), level - 5);
  EXPECT_EQ(top_of(-3), level + 3);
}

}  // namespace
}  // namespace kelvane::platform
