// SPDX-License-Identifier: Apache-2.0
// Pixels passed as views: the kernels, bitmap contexts and rasters over a PixelLayout, and the
// earlier argument lists, which must keep giving the same pixels.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/platform/pixels/raster.h"
#include "kelvane/testing/picture_files.h"

namespace kelvane::platform {
namespace {

using testing::RandomBytes;

TEST(PixelViews, KernelsRefuseLayoutsTheyCannotWeigh) {
  const std::uint32_t w = 4, h = 4;
  std::vector<std::uint8_t> in = RandomBytes(w * 4 * h, 3), out(w * 4 * h, 0xAB);
  const std::vector<std::uint8_t> untouched = out;
  const PixelView source{PixelLayout::Working(w, h, w * 4), in.data()};
  // 3-byte pixels: a kernel weighing them as four would run past each row.
  const MutablePixelView destination{{w, h, w * 4, 0x0000, ColorSpace::kRGB}, out.data()};
  EXPECT_FALSE(BoxConvolve(source, destination, 3, 3, nullptr, 0));
  EXPECT_FALSE(ColorMatrixMultiply(source, destination, SaturationMatrix(0)));
  EXPECT_FALSE(ResampleOriented(source, destination, kOrientationUp));
  // An orientation number smuggled into the enum is refused like the earlier form refuses it.
  EXPECT_FALSE(
      ResampleOriented(source, {source.layout, out.data()}, static_cast<ImageOrientation>(8)));
  EXPECT_EQ(out, untouched);
}

TEST(PixelViews, BitmapContextsCheckTheLayoutBeforeNarrowingOrMultiplying) {
  // A row so long that rows x height wraps around to a small count.
  EXPECT_EQ(
      GraphicsContext::MakeBitmap(
          PixelLayout::Working(2, 2, std::numeric_limits<std::size_t>::max() / 2 + 1), nullptr),
      nullptr);
  // Sides past 32 bits that the layout's 32-bit fields would read as 1 x 1.
  const std::size_t wide = (std::size_t{1} << 32) + 1;
  EXPECT_EQ(GraphicsContext::MakeBitmap(nullptr, wide, 1, 8, 0, ColorSpace::kRGB, 0x2002), nullptr);
  EXPECT_EQ(GraphicsContext::MakeBitmap(nullptr, 1, wide, 8, 0, ColorSpace::kRGB, 0x2002), nullptr);
  EXPECT_EQ(GraphicsContext::MakeBitmap(nullptr, 1, 1, 16, 0, ColorSpace::kRGB, 0x2002), nullptr);

  // The layout form and the earlier list make the same bitmap.
  const auto filled = [](const std::unique_ptr<GraphicsContext>& bitmap) {
    bitmap->SetFillColor(0.5, 0.25, 1.0, 1.0);
    bitmap->FillRect({0, 0, 3, 2});
    const RasterRef r = bitmap->CreateImage()->raster();
    return std::tuple(r->bytes_per_row(), r->bitmap_info(),
                      std::vector<std::uint8_t>(r->data(), r->data() + 24));
  };
  const auto bitmap = GraphicsContext::MakeBitmap({3, 2, 0, 0x0001, ColorSpace::kRGB}, nullptr);
  const auto earlier = GraphicsContext::MakeBitmap(nullptr, 3, 2, 8, 0, ColorSpace::kRGB, 0x0001);
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(earlier, nullptr);
  EXPECT_EQ(std::tuple(bitmap->BytesPerRow(), bitmap->BitmapInfo()), std::tuple(12u, 0x0001u));
  EXPECT_EQ(filled(bitmap), filled(earlier));
}

TEST(PixelViews, QualitiesAndOrientationsOutsideTheirRangeReadAsTheDefaults) {
  const auto bitmap = GraphicsContext::MakeBitmap(PixelLayout::Working(1, 1, 0), nullptr);
  ASSERT_NE(bitmap, nullptr);
  bitmap->SetInterpolationQuality(kInterpolationHigh);
  EXPECT_EQ(bitmap->interpolation_quality(), kInterpolationHigh);
  bitmap->SetInterpolationQuality(static_cast<InterpolationQuality>(9));
  EXPECT_EQ(bitmap->interpolation_quality(), kInterpolationDefault);
  bitmap->SetInterpolationQuality(7);  // the earlier form
  EXPECT_EQ(bitmap->GetInterpolationQuality(), kInterpolationDefault);

  const RasterRef raster = Raster::Make(PixelLayout::Working(1, 1, 4), {1, 2, 3, 4});
  ASSERT_NE(raster, nullptr);
  EXPECT_EQ(Image::Make(raster, 1.0, static_cast<ImageOrientation>(8)), nullptr);
  EXPECT_EQ(Image::Make(raster, 1.0, -1), nullptr);
  const ImageRef turned = Image::Make(raster, 1.0, kOrientationLeftMirrored);
  ASSERT_NE(turned, nullptr);
  EXPECT_EQ(turned->orientation(), kOrientationLeftMirrored);
}

}  // namespace
}  // namespace kelvane::platform
