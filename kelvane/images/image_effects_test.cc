// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/image_effects.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/testing/picture_files.h"

namespace kelvane {
namespace {

using platform::Color;
using platform::ColorSpace;
using platform::Image;
using platform::Raster;
using platform::RasterRef;

constexpr auto Blur = &UIImageEffects::imageByApplyingBlurToImage;

// w x h pixels in the working format: random premultiplied colours, or `fill` when it is not 0
// (0xAARRGGBB, premultiplied). Opaque pictures have no alpha and junk in the unused byte.
RasterRef Picture(std::uint32_t w, std::uint32_t h, bool opaque, std::uint32_t seed,
                  std::uint32_t fill = 0) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> p(std::size_t{w} * h * 4);
  for (std::size_t i = 0; i < p.size(); i += 4) {
    const std::uint32_t v = fill != 0 ? fill : static_cast<std::uint32_t>(random());
    const std::uint8_t a = opaque ? 255 : static_cast<std::uint8_t>(v >> 24);
    for (int c = 0; c < 3; ++c) p[i + c] = std::min<std::uint8_t>((v >> (8 * c)) & 255, a);
    p[i + 3] = opaque ? static_cast<std::uint8_t>(v >> 24) : a;
  }
  return Raster::Make(w, h, w * 4,
                      opaque ? platform::kOpaqueWorkingBitmapInfo : platform::kWorkingBitmapInfo,
                      ColorSpace::kRGB, std::move(p));
}

std::uint8_t Channel(std::uint32_t pixel, int c) { return (pixel >> (8 * c)) & 255; }

// Premultiplied 0xAARRGGBB pixels of a raster, row by row.
constexpr auto Pixels = &testing::PremultipliedPixels;

// A translucent working-format picture through three box passes of side k (none for 0), then
// the saturation matrix with colours cut to alpha, by the kernels (tested on their own).
std::vector<std::uint32_t> Expected(const Raster& source, std::uint32_t k, double factor) {
  const std::uint32_t w = source.width(), h = source.height();
  std::vector<std::uint32_t> a = Pixels(source), b(a.size());
  const platform::PixelBuffer x{a.data(), w, h, w * 4}, y{b.data(), w, h, w * 4};
  if (k != 0 && BoxConvolve(x, y, k, k, nullptr, 0) && BoxConvolve(y, x, k, k, nullptr, 0) &&
      BoxConvolve(x, y, k, k, nullptr, 0)) {
    a = b;
  }
  if (factor == 1) return a;
  EXPECT_TRUE(ColorMatrixMultiply(x, x, platform::SaturationMatrix(factor)));
  for (std::uint32_t& p : a) {
    for (int c = 0; c < 24; c += 8) p = std::min(p >> c & 255, p >> 24) << c | (p & ~(255u << c));
  }
  return a;
}

TEST(UIImageEffects, BlurKernelSizesFollowRadiusAndScale) {
  const std::array<double, 3> cases[] = {{60, 1, 57}, {40, 3, 113}, {20, 2, 37}, {0.5, 1, 3}};
  for (auto [radius, scale, k] : cases) {
    const RasterRef source = Picture(16, 6, false, static_cast<std::uint32_t>(k));
    const ImageRef out = Blur(Image::Make(source, scale), radius, nullptr, 1, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Pixels(*out->raster()), Expected(*source, std::uint32_t(k), 1))
        << "radius " << radius << " scale " << scale;
    EXPECT_EQ(out->scale(), scale);
  }
}

TEST(UIImageEffects, NeutralValuesRedrawAndSaturationAloneWorksPixelByPixel) {
  const RasterRef source = Picture(9, 7, false, 1);
  const ImageRef image = Image::Make(source);
  const ImageRef same = Blur(image, 0, nullptr, 1, nullptr);
  const ImageRef tinted = Blur(image, 0, Color::Grey(1, 0.5), 1, nullptr);
  const ImageRef vivid = Blur(image, 0, nullptr, 1.8, nullptr);
  ASSERT_THAT((std::vector{same, tinted, vivid}), ::testing::Each(::testing::NotNull()));
  EXPECT_EQ(Pixels(*same->raster()), Pixels(*source));
  EXPECT_EQ(Pixels(*vivid->raster()), Expected(*source, 0, 1.8));
  const auto in = Pixels(*source), half = Pixels(*tinted->raster());
  for (std::size_t i = 0; i < in.size() * 3; ++i) {
    EXPECT_NEAR(Channel(half[i / 3], i % 3), (255 + Channel(in[i / 3], i % 3)) / 2.0, 1);
  }
  // 0.5 x 10 points, no image, no pixels, a mask without pixels: nothing.
  const RasterRef thin = Picture(1, 20, true, 2);
  EXPECT_EQ(UIImageEffects::imageByApplyingLightEffectToImage(Image::Make(thin, 2)), nullptr);
  EXPECT_EQ(UIImageEffects::imageByApplyingLightEffectToImage(nullptr), nullptr);
  EXPECT_EQ(UIImageEffects::imageByApplyingDarkEffectToImage(Image::Make(nullptr)), nullptr);
  EXPECT_EQ(Blur(image, 3, nullptr, 1, Image::Make(nullptr)), nullptr);
  // A blur wider than the widest box uses that box.
  EXPECT_NE(Blur(Image::Make(thin), 1e300, nullptr, 1, nullptr), nullptr);
}

TEST(UIImageEffects, PresetsAreTheGeneralOperationWithTheirDocumentedNumbers) {
  // At scale 3 a radius one point off changes the box, so each number shows in the pixels.
  const ImageRef image = Image::Make(Picture(96, 48, true, 11), 3);
  // {preset, radius, white level, alpha}; saturation 1.8 for all.
  const std::tuple<ImageRef, double, double, double> presets[] = {
      {UIImageEffects::imageByApplyingLightEffectToImage(image), 60, 1, 0.3},
      {UIImageEffects::imageByApplyingExtraLightEffectToImage(image), 40, 0.97, 0.82},
      {UIImageEffects::imageByApplyingDarkEffectToImage(image), 40, 0.11, 0.73}};
  for (const auto& [preset, radius, level, alpha] : presets) {
    SCOPED_TRACE(level);
    const ImageRef reference = Blur(image, radius, Color::Grey(level, alpha), 1.8, nullptr);
    ASSERT_THAT((std::vector{preset, reference}), ::testing::Each(::testing::NotNull()));
    EXPECT_EQ(Pixels(*preset->raster()), Pixels(*reference->raster()));
  }
}

TEST(UIImageEffects, MaskShowsTheSharpSourceOutsideAndTintCoversBoth) {
  // 6 x 4 points, stored so or as 4 x 6 turned clockwise. The mask covers the top half.
  std::vector<std::uint8_t> cover(12, 255);
  cover.resize(24);
  const ImageRef mask = Image::Make(Raster::Make(6, 4, 6, 7, ColorSpace::kGrey, cover));
  for (int turn : {platform::kOrientationUp, platform::kOrientationRight}) {
    const ImageRef image = Image::Make(Picture(turn ? 4 : 6, turn ? 6 : 4, true, 4), 1.0, turn);
    const ImageRef out = Blur(image, 0, Color::Grey(0, 0.5), 0, mask);
    ASSERT_NE(out, nullptr);
    const RasterRef upright = platform::UprightRaster(*image);
    for (std::uint32_t i = 0; i < 24 * 3; ++i) {  // the effect inside the mask, sharp outside
      const std::uint32_t s = upright->PremultipliedPixel(i / 3 % 6, i / 18);
      const int luma = (Channel(s, 0) * 18 + Channel(s, 1) * 183 + Channel(s, 2) * 54 + 128) >> 8;
      EXPECT_NEAR(Channel(out->raster()->PremultipliedPixel(i / 3 % 6, i / 18), i % 3),
                  (i < 36 ? luma : Channel(s, i % 3)) / 2.0, 1.5)
          << turn;
    }
  }
}

TEST(UIImageEffects, TintPresetTurnsHuesAndLaysItsColourAtSixTenths) {
  const std::tuple<std::uint32_t, ColorRef, std::uint32_t> cases[] = {
      {0xFFFF0000, Color::RGB(1, 0, 0, 1), 0x992C2C},  // red over the cyan-like effect of red
      {0xFF000000, Color::Grey(1, 1), 0x999999},
      {0xFF000000, Color::RGB(0, 0, 1, 0.2), 0x000099},
      {0xFF000000, Color::Pattern({1, 1, {0xFFFFFFFF}}), 0xFFFFFF},  // laid over unchanged
  };
  for (const auto& [picture, color, expected] : cases) {
    const ImageRef out = UIImageEffects::imageByApplyingTintEffectWithColor(
        color, Image::Make(Picture(8, 8, true, 0, picture)));
    ASSERT_NE(out, nullptr);
    const std::uint32_t p = out->raster()->PremultipliedPixel(4, 4);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(Channel(p, c), Channel(expected, c), 1) << c;
  }
}

TEST(UIImageEffects, ResultsOwnTheirPixelsWhileCallsReuseMemoryAndBands) {
  // Large enough to run in bands; each call after the first works in memory given back.
  const ImageRef a = Image::Make(Picture(700, 420, false, 21), 2);
  const ImageRef b = Image::Make(Picture(700, 420, true, 22), 2);
  const auto light = &UIImageEffects::imageByApplyingLightEffectToImage;
  std::vector<std::uint32_t> alone, expected_b;
  {
    const platform::KeepOnThisThread keep;
    const ImageRef out = light(a);
    ASSERT_NE(out, nullptr);
    alone = Pixels(*out->raster());
    const ImageRef other = Blur(b, 20, Color::Grey(0.2, 0.5), 0.5, a);
    ASSERT_NE(other, nullptr);
    expected_b = Pixels(*other->raster());
  }
  const ImageRef first = light(a);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Pixels(*first->raster()), alone);
  // Calls at once on other threads, masked and not, leave `first` alone and get their own.
  std::vector<std::vector<std::uint32_t>> got(3);
  std::vector<std::thread> threads;
  for (auto& pixels : got) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2; ++i) {
        const ImageRef out = Blur(b, 20, Color::Grey(0.2, 0.5), 0.5, a);
        pixels = out == nullptr ? std::vector<std::uint32_t>{} : Pixels(*out->raster());
        if (pixels != expected_b) return;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_THAT(got, ::testing::Each(expected_b));
  EXPECT_EQ(Pixels(*first->raster()), alone);
}

}  // namespace
}  // namespace kelvane
