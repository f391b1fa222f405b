// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/create.h"

#include <gtest/gtest.h>

#include "kelvane/colours/color_cache.h"

namespace kelvane::Create {
namespace {

using namespace platform;

TEST(Create, SupportedExtensionsFollowTheTableIgnoringCase) {
  for (const char16_t* yes : {u"photo.JPG", u"scans/2024/page.Tif", u"icon.bmpf", u"a.png",
                              u"b.tiff", u"c.XBM", u"folder/d.cur/"}) {
    EXPECT_TRUE(isSupportdedExtension(yes));
  }
  for (const char16_t* no :
       {u"pic.webp", u"jpg", u"a.png.zip", u"", u"dir.png/readme", u".", u"archive.jpg~"}) {
    EXPECT_FALSE(isSupportdedExtension(no));
  }
}

TEST(Create, TintPaintsTheCoverageAndKeepsSizeAndScale) {
  // 3 x 2 pixels at scale 2 (working format): opaque, half-covered and clear columns.
  const RasterRef raster = Raster::Make(
      3, 2, 12, kWorkingBitmapInfo, ColorSpace::kRGB,
      {10, 20, 30, 255, 0, 0, 64, 128, 0, 0, 0, 0, 10, 20, 30, 255, 0, 0, 64, 128, 0, 0, 0, 0});
  const ImageRef source = Image::Make(raster, 2.0, kOrientationUp);
  for (const ImageRef& image : {source, source->WithRenderingMode(kRenderingAlwaysTemplate)}) {
    const ImageRef tinted = imageWithTint(*image, ColorForRGB(0x0000FF));
    ASSERT_NE(tinted, nullptr);
    EXPECT_EQ(tinted->size(), (Size{1.5, 1}));
    EXPECT_EQ(tinted->scale(), 2.0);
    EXPECT_EQ(tinted->rendering_mode(), kRenderingAlwaysOriginal);
    EXPECT_EQ(tinted->raster()->PremultipliedPixel(0, 1), 0xFF0000FFu);
    EXPECT_EQ(tinted->raster()->PremultipliedPixel(1, 0), 0x80000080u);
    EXPECT_EQ(tinted->raster()->PremultipliedPixel(2, 1), 0u);
  }
}

}  // namespace
}  // namespace kelvane::Create
