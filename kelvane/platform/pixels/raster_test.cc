// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/pixels/raster.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelvane::platform {
namespace {

// Two pixels in the working format: opaque (10, 20, 30) and half-covered (60, 40, 20) at 128.
RasterRef WorkingPair() {
  return Raster::Make(2, 1, 8, kWorkingBitmapInfo, ColorSpace::kRGB,
                      {30, 20, 10, 255, 20, 40, 60, 128});
}

TEST(Raster, LayoutsPlaceTheBytesTheirNamesSay) {
  struct Case {
    std::uint32_t info;
    ColorSpace space;
    std::vector<std::uint8_t> opaque_pixel;  // (10, 20, 30) in memory order
  };
  const Case cases[] = {
      {0x0002, ColorSpace::kRGB, {255, 10, 20, 30}},  // premultiplied first: A R G B
      {0x0001, ColorSpace::kRGB, {10, 20, 30, 255}},  // premultiplied last: R G B A
      {0x2002, ColorSpace::kRGB, {30, 20, 10, 255}},  // + 32-bit little: B G R A
      {0x2001, ColorSpace::kRGB, {255, 30, 20, 10}},  // A B G R
      {0x4002, ColorSpace::kRGB, {255, 10, 20, 30}},  // 32-bit big is the default order
      {0x0000, ColorSpace::kRGB, {10, 20, 30}},       // none: 3 bytes
      {0x0007, ColorSpace::kRGB, {255}},              // alpha only
      {0x0000, ColorSpace::kGrey, {18}},              // luma of (10, 20, 30)
  };
  const RasterRef source = WorkingPair();
  for (const Case& c : cases) {
    const RasterRef converted = ConvertRaster(*source, c.info, c.space);
    ASSERT_NE(converted, nullptr) << std::hex << c.info;
    EXPECT_EQ(
        std::vector<std::uint8_t>(converted->data(), converted->data() + c.opaque_pixel.size()),
        c.opaque_pixel)
        << std::hex << c.info;
  }
}

TEST(Raster, AlphaLayoutsRoundTrip) {
  const RasterRef source = WorkingPair();
  for (std::uint32_t alpha = 1; alpha <= 6; ++alpha) {
    for (std::uint32_t order : {kBitmapByteOrderDefault, kBitmapByteOrder32Little}) {
      const RasterRef there = ConvertRaster(*source, alpha | order, ColorSpace::kRGB);
      ASSERT_NE(there, nullptr);
      const RasterRef back = InWorkingFormat(there);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(back->PremultipliedPixel(0, 0), 0xFF0A141Eu) << alpha << ' ' << order;
      const bool keeps_alpha = alpha <= 4;
      // Dividing alpha out and back may move a colour by one step; no alpha means opaque.
      const std::uint32_t half = back->PremultipliedPixel(1, 0);
      if (keeps_alpha) {
        EXPECT_EQ(half >> 24, 128u);
        EXPECT_NEAR(static_cast<int>((half >> 16) & 255), 60, 1);
        EXPECT_NEAR(static_cast<int>(half & 255), 20, 1);
      } else {
        EXPECT_EQ(half, 0xFF3C2814u);  // the premultiplied colour, as if over black
      }
    }
  }
  // Non-premultiplied storage divides alpha out.
  const RasterRef straight = ConvertRaster(*source, 3, ColorSpace::kRGB);
  EXPECT_EQ(straight->data()[4], 120);         // 60 * 255 / 128, rounded
  EXPECT_EQ(InWorkingFormat(source), source);  // no copy for the working format
}

TEST(Raster, RefusesWhatDoesNotFit) {
  int released = 0;
  const std::uint8_t byte = 0;
  auto wrap = [&](std::uint32_t w, std::uint32_t h, std::size_t row, std::uint32_t info) {
    return Raster::Wrap(w, h, row, info, ColorSpace::kRGB, &byte, [&] { ++released; });
  };
  // Which shapes fit is the layout's to say (see PixelLayout): a refused wrap still releases.
  EXPECT_EQ(wrap(2, 1, 7, kWorkingBitmapInfo), nullptr);  // row too short
  EXPECT_EQ(wrap(1, 1, 3, 0x2000), nullptr);              // a 32-bit order on 3-byte pixels
  EXPECT_EQ(released, 2);
  EXPECT_NE(wrap(16383, 32767, 16383 * 4, kWorkingBitmapInfo), nullptr);  // just fits
  EXPECT_EQ(released, 3);
  EXPECT_EQ(
      Raster::Make(2, 2, 8, kWorkingBitmapInfo, ColorSpace::kRGB, std::vector<std::uint8_t>(15)),
      nullptr);  // fewer bytes than the rows
}

}  // namespace
}  // namespace kelvane::platform
