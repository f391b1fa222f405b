// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/resize.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "kelvane/images/internal/resize_routes.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/testing/picture_files.h"

namespace kelvane::Resize {
namespace {

using namespace platform;

// Opaque, distinct colours for the letters a..f (0xAARRGGBB).
std::uint32_t Colour(char letter) { return 0xFF000000u | (letter - 'a' + 1) * 0x251A0Fu; }

// The letters of a raster's pixels ('?' for other colours), rows joined by '/'.
std::string Letters(const Raster& raster) {
  std::string out;
  for (std::uint32_t y = 0; y < raster.height(); ++y) {
    for (std::uint32_t x = 0; x < raster.width(); ++x) {
      char letter = '?';
      for (char c = 'a'; c <= 'f'; ++c)
        letter = raster.PremultipliedPixel(x, y) == Colour(c) ? c : letter;
      out += letter;
    }
    out += y + 1 < raster.height() ? "/" : "";
  }
  return out;
}

TEST(Resize, EveryOrientationComesOutUprightPixelForPixel) {
  std::vector<std::uint8_t> bytes;  // "abc/def" in the working format
  for (char c : std::string("abcdef")) {
    const std::uint32_t p = Colour(c);
    bytes.insert(bytes.end(), {std::uint8_t(p), std::uint8_t(p >> 8), std::uint8_t(p >> 16), 255});
  }
  const RasterRef working = Raster::Make(3, 2, 12, kWorkingBitmapInfo, ColorSpace::kRGB, bytes);
  // The raster shown upright for each orientation.
  const char* const kShown[8] = {"abc/def", "fed/cba", "cf/be/ad", "da/eb/fc",
                                 "cba/fed", "def/abc", "ad/be/cf", "fc/eb/da"};
  // The working format takes the averaging route, alpha last (3) and a skipped last byte (5) the
  // drawing route.
  for (const RasterRef& raster : {working, ConvertRaster(*working, 3, ColorSpace::kRGB),
                                  ConvertRaster(*working, 5, ColorSpace::kRGB)}) {
    for (int o = 0; o < 8; ++o) {
      SCOPED_TRACE(::testing::Message() << "layout " << raster->bitmap_info() << ", turn " << o);
      const ImageRef image = Image::Make(raster, 2.0, o);
      const Size pixels = sizeInPixels(*image);
      const ImageRef upright = resizedImage(*image, pixels, kInterpolationNone);
      ASSERT_NE(upright, nullptr);
      EXPECT_EQ(upright->orientation(), kOrientationUp);
      EXPECT_EQ(upright->scale(), 2.0);
      EXPECT_EQ(Letters(*upright->raster()), kShown[o]);
      // Alpha stays first or last; a skipped byte stays skipped.
      const std::uint32_t alpha = raster->bitmap_info() & 0x1F;
      EXPECT_EQ(upright->raster()->bitmap_info(), raster == working ? 2u : alpha == 5 ? 5u : 1u);
      const Rect drawn =
          Image::IsTransposed(o) ? Rect(0, 0, pixels.height, pixels.width) : Rect({0, 0}, pixels);
      EXPECT_EQ(internal::OrientationOfDrawing(transformForOrientation(*image, pixels), drawn, 3, 2,
                                               pixels.width, pixels.height),
                o);
      // The same drawing from a rectangle moved by (5, 7), the transform moving it back.
      AffineTransform moved = transformForOrientation(*image, pixels);
      moved.tx -= moved.a * 5 + moved.c * 7;
      moved.ty -= moved.b * 5 + moved.d * 7;
      const Rect shifted(drawn.x + 5, drawn.y + 7, drawn.width, drawn.height);
      EXPECT_EQ(internal::OrientationOfDrawing(moved, shifted, 3, 2, pixels.width, pixels.height),
                o);
    }
  }
}

// A smooth picture of gradients.
RasterRef Smooth(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(std::size_t{width} * 4 * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      bytes.insert(bytes.end(), {std::uint8_t(255 * x / width), std::uint8_t(255 * y / height),
                                 std::uint8_t(255 * (x + y) / (width + height)), 255});
    }
  }
  return Raster::Make(width, height, width * 4, kWorkingBitmapInfo, ColorSpace::kRGB, bytes);
}

TEST(Resize, SizesRoundOutwardsAndBothRoutesAgree) {
  // Stored 400 x 300 under orientation 3, shown 300 x 400.
  const ImageRef turned = Image::Make(Smooth(400, 300), 1.0, kOrientationRight);
  auto sides = [](const ImageRef& image) {
    return image ? Size{double(image->raster()->width()), double(image->raster()->height())}
                 : Size{-1, -1};
  };
  EXPECT_EQ(sides(resizedImage(*turned, {300, 400}, kInterpolationHigh)), (Size{300, 400}));
  // Reduced to 120 x 160 by averaging and by the engine's drawing: the same picture.
  const RasterRef averaged = internal::ReduceOriented(*turned->raster(), kOrientationRight,
                                                      {120, 160, 480, 2, ColorSpace::kRGB});
  const RasterRef drawn = internal::DrawResized(
      *turned->raster(), {120, 160, 0, 2, ColorSpace::kRGB},
      transformForOrientation(*turned, {120, 160}), {0, 0, 160, 120}, kInterpolationHigh);
  ASSERT_THAT((std::vector{averaged, drawn}), ::testing::Each(::testing::NotNull()));
  int worst = 0;
  for (std::size_t i = 0; i < 120 * 160 * 4; ++i) {
    worst = std::max(worst, std::abs(averaged->data()[i] - drawn->data()[i]));
  }
  EXPECT_LE(worst, 2);

  const ImageRef wide = Image::Make(Smooth(200, 100), 1.0, kOrientationUp);
  EXPECT_EQ(
      sides(resizedImageWithContentMode(*wide, kContentModeFit, {100, 100}, kInterpolationDefault)),
      (Size{100, 50}));
  // Every mode but fit covers the bounds, numbers without a name included.
  const std::int64_t covering[] = {kContentModeStretch, kContentModeFill, 7, -1};
  for (std::int64_t mode : covering) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(sides(resizedImageWithContentMode(*wide, mode, {100, 100}, kInterpolationDefault)),
              (Size{200, 100}));
  }
  EXPECT_EQ(sides(resizedImageWithRatio(*wide, 0.25, kInterpolationHigh)), (Size{50, 25}));
  EXPECT_EQ(resizedImageWithRatio(*wide, -1, kInterpolationHigh), nullptr);  // both sides < 0
  EXPECT_EQ(sides(resizedImage(*wide, {10.2, 10.7}, kInterpolationDefault)), (Size{11, 11}));
  // x grows, y kept
  EXPECT_EQ(sides(resizedImage(*wide, {400, 150}, kInterpolationLow)), (Size{400, 150}));
  // No bitmap: empty, non-finite or absurd sizes, an image without pixels.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (Size bad : {Size{0, 10}, Size{-10, 10}, Size{nan, 10}, Size{10, INFINITY}, Size{1e12, 10}}) {
    EXPECT_EQ(resizedImage(*wide, bad, kInterpolationDefault), nullptr)
        << bad.width << " x " << bad.height;
  }
}

TEST(Resize, LayoutsAreMappedOrRefused) {
  // Alpha last becomes premultiplied last: half-covered red reads 128, 0, 0, 128 in memory.
  const RasterRef last = Raster::Make(1, 1, 4, 3, ColorSpace::kRGB, {255, 0, 0, 128});
  const ImageRef mapped = resizedImage(*Image::Make(last), {1, 1}, kInterpolationDefault);
  ASSERT_NE(mapped, nullptr);
  EXPECT_EQ(mapped->raster()->bitmap_info(), 1u);
  EXPECT_EQ(std::vector<std::uint8_t>(mapped->raster()->data(), mapped->raster()->data() + 4),
            (std::vector<std::uint8_t>{128, 0, 0, 128}));
  // RGB without alpha or skip byte, and grey with alpha, make no bitmap.
  for (const RasterRef& raster : {Raster::Make(1, 1, 4, 0, ColorSpace::kRGB, {1, 2, 3, 0}),
                                  Raster::Make(1, 1, 2, 3, ColorSpace::kGrey, {9, 9})}) {
    EXPECT_EQ(resizedImage(*Image::Make(raster), {1, 1}, kInterpolationDefault), nullptr);
  }
}

TEST(Resize, JPEGKeepsTheLongerSideWithinTheLimit) {
  struct Case {
    std::uint32_t width, height;
    double scale, orientation, limit;
    Size adjusted, jpeg;
  } const kCases[] = {
      {3000, 2000, 1, 0, 1000, {1000, 666}, {1000, 666}},
      {3000, 2000, 2, 0, 1000, {500, 333}, {1000, 666}},
      {3000, 2000, 1, 3, 1000, {666, 1000}, {666, 1000}},  // shown upright
      {300, 200, 2, 0, 300, {150, 100}, {300, 200}},       // a limit equal to the side
      {130, 100, 1.3, 0, 65, {50, 38}, {65, 50}},          // 49.4 pixels: drawn, rounded up
      // Only a ratio above 1 shrinks: a negative limit ("no limit") or one that is not a number
      // keeps the picture at its size.
      {30, 20, 1, 0, -1, {30, 20}, {30, 20}},
      {30, 20, 1, 0, -100, {30, 20}, {30, 20}},
      {30, 20, 1, 0, std::numeric_limits<double>::quiet_NaN(), {30, 20}, {30, 20}},
      {30, 20, 1, 0, std::numeric_limits<double>::infinity(), {30, 20}, {30, 20}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message()
                 << c.width << " x " << c.height << " at " << c.scale << ", limit " << c.limit);
    Size adjusted{7, 7};
    const auto data =
        compressToJPEG(*Image::Make(Smooth(c.width, c.height), c.scale, int(c.orientation)), 0.7,
                       c.limit, &adjusted);
    EXPECT_EQ(adjusted, c.adjusted);
    const RasterRef decoded = data ? DecodeJPEG(*data) : nullptr;
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(Size(decoded->width(), decoded->height()), c.jpeg);
  }
  const ImageRef image = Image::Make(Smooth(30, 20));
  EXPECT_TRUE(compressToJPEG(*image, 0.5, 10, nullptr).has_value());
  // A limit of 0 leaves no side and no data.
  Size adjusted{7, 7};
  EXPECT_FALSE(compressToJPEG(*image, 0.5, 0.0, &adjusted).has_value());
  EXPECT_EQ(adjusted, (Size{0, 0}));
}

TEST(Resize, EnlargementsAreSmoothUnlessNearestIsAsked) {
  // A 3 x 3 checkerboard of greys 0 and 255 enlarged eight times: high through the platform's
  // cubic, the other smooth qualities through its bilinear filter, none by repeating pixels.
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < 9; ++i) {
    const std::uint8_t grey = i % 2 == 0 ? 0 : 255;
    bytes.insert(bytes.end(), {grey, grey, grey, 255});
  }
  const RasterRef board = Raster::Make(3, 3, 12, kWorkingBitmapInfo, ColorSpace::kRGB, bytes);
  const auto pixels = &testing::PremultipliedPixels;
  const auto filtered = [&](EnlargeFilter filter) {
    std::vector<std::uint8_t> out(24 * 24 * 4);
    EXPECT_TRUE(platform::ResampleOriented(
        board->view(), {PixelLayout::Working(24, 24, 96), out.data()}, kOrientationUp, filter));
    return pixels(*Raster::Make(24, 24, 96, kWorkingBitmapInfo, ColorSpace::kRGB, out));
  };
  const std::vector<std::uint32_t> cubic = filtered(EnlargeFilter::kCubic);
  const std::vector<std::uint32_t> bilinear = filtered(EnlargeFilter::kBilinear);
  std::vector<std::uint32_t> nearest;
  for (std::uint32_t i = 0; i < 24 * 24; ++i) {
    nearest.push_back(board->PremultipliedPixel(i % 24 / 8, i / 24 / 8));
  }
  for (int quality : {kInterpolationDefault, kInterpolationLow, kInterpolationMedium,
                      kInterpolationHigh, kInterpolationNone}) {
    SCOPED_TRACE(::testing::Message() << "quality " << quality);
    const ImageRef enlarged = resizedImage(*Image::Make(board), {24, 24}, quality);
    ASSERT_NE(enlarged, nullptr);
    EXPECT_EQ(pixels(*enlarged->raster()), quality == kInterpolationNone   ? nearest
                                           : quality == kInterpolationHigh ? cubic
                                                                           : bilinear);
  }
  // One side kept and the other enlarged: still repeated pixels, never a filter.
  const ImageRef wider = resizedImage(*Image::Make(board), {24, 3}, kInterpolationNone);
  ASSERT_NE(wider, nullptr);
  std::vector<std::uint32_t> repeated;
  for (std::uint32_t i = 0; i < 24 * 3; ++i) {
    repeated.push_back(board->PremultipliedPixel(i % 24 / 8, i / 24));
  }
  EXPECT_EQ(pixels(*wider->raster()), repeated);
}

}  // namespace
}  // namespace kelvane::Resize
