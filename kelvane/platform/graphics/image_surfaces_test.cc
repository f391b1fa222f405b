// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/image_surfaces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <utility>

#include "kelvane/platform/device/screen.h"

namespace kelvane::platform {
namespace {

TEST(ImageSurfaces, BeginsAndEndsStayPaired) {
  ASSERT_EQ(GetCurrentContext(), nullptr);
  ASSERT_TRUE(BeginImageContextWithOptions({4, 2}, false, 2));
  GraphicsContext* outer = GetCurrentContext();
  ASSERT_NE(outer, nullptr);
  EXPECT_FALSE(BeginImageContext({0, 3}));  // fails, but still takes its place
  EXPECT_EQ(GetCurrentContext(), nullptr);
  EXPECT_EQ(GetImageFromCurrentImageContext(), nullptr);
  EndImageContext();
  EXPECT_EQ(GetCurrentContext(), outer);
  outer->SetFillColor(1, 0, 0, 1);
  outer->FillRect({0, 0, 4, 2});
  // Another thread has a stack of its own.
  std::thread([] { EXPECT_EQ(GetCurrentContext(), nullptr); }).join();
  const ImageRef image = GetImageFromCurrentImageContext();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), (Size{4, 2}));
  EXPECT_EQ(image->raster()->width(), 8u);
  EXPECT_EQ(image->raster()->PremultipliedPixel(7, 3), 0xFFFF0000u);

  // A pushed context is current, but no image context: ending leaves it alone.
  auto bitmap = GraphicsContext::MakeBitmap(nullptr, 1, 1, 8, 0, ColorSpace::kRGB, 0x2002);
  PushContext(*bitmap);
  EndImageContext();
  EXPECT_EQ(GetCurrentContext(), bitmap.get());
  EXPECT_EQ(GetImageFromCurrentImageContext(), nullptr);
  PopContext();
  EndImageContext();
  EXPECT_EQ(GetCurrentContext(), nullptr);
}

TEST(ImageSurfaces, EntriesThatCannotBeStoredStillPairWithTheirEnds) {
  ASSERT_TRUE(BeginImageContext({1, 1}));
  GraphicsContext* outer = GetCurrentContext();
  for (std::size_t i = 1; i < kMaxContextDepth; ++i) EXPECT_FALSE(BeginImageContext({0, 0}));
  // The stack is full: a begin that would succeed, and a push, take places without storing.
  EXPECT_FALSE(BeginImageContext({2, 2}));
  EXPECT_EQ(GetCurrentContext(), nullptr);
  auto bitmap = GraphicsContext::MakeBitmap(nullptr, 1, 1, 8, 0, ColorSpace::kRGB, 0x2002);
  PushContext(*bitmap);
  EXPECT_EQ(GetCurrentContext(), nullptr);
  EndImageContext();  // the top is the push: nothing happens
  EXPECT_EQ(TakeImageAndEndImageContext(), nullptr);
  PopContext();
  PopContext();  // the top is now the unstored begin: nothing happens
  EXPECT_EQ(TakeImageAndEndImageContext(), nullptr);
  // The other way round, a begin over a push: each end still closes its own kind.
  PushContext(*bitmap);
  EXPECT_FALSE(BeginImageContext({2, 2}));
  EndImageContext();
  PopContext();
  // Stored entries are current again, and every end closes its own begin.
  for (std::size_t i = 1; i < kMaxContextDepth; ++i) {
    EXPECT_EQ(GetCurrentContext(), nullptr);
    EndImageContext();
  }
  EXPECT_EQ(GetCurrentContext(), outer);
  EndImageContext();
  EXPECT_EQ(GetCurrentContext(), nullptr);
}

TEST(ImageSurfaces, TakenImagesKeepTheirPixelsWhileTheContextIsFinished) {
  ASSERT_TRUE(BeginImageContextWithOptions({2, 2}, true, 1));
  GraphicsContext* context = GetCurrentContext();
  context->SetFillColor(0, 0, 1, 1);
  context->FillRect({0, 0, 2, 2});
  const ImageRef copy = context->CreateImage();
  const ImageRef taken = context->TakeImage();
  ASSERT_NE(taken, nullptr);
  // Drawing after the take reaches neither picture, and nothing more can be taken.
  context->SetFillColor(1, 0, 0, 1);
  context->FillRect({0, 0, 2, 2});
  EXPECT_EQ(taken->raster()->PremultipliedPixel(1, 1), 0xFF0000FFu);
  EXPECT_EQ(copy->raster()->PremultipliedPixel(1, 1), 0xFF0000FFu);
  EXPECT_EQ(context->TakeImage(), nullptr);
  EXPECT_EQ(context->CreateImage(), nullptr);
  EndImageContext();
}

TEST(ImageSurfaces, ALargeSurfaceOnReusedMemoryStartsTransparent) {
  // 3000 x 3000 pixels pass the size from which surfaces draw on pooled memory.
  ASSERT_TRUE(BeginImageContextWithOptions({1000, 1000}, false, 3));
  GetCurrentContext()->SetFillColor(1, 0, 0, 1);
  GetCurrentContext()->FillRect({0, 0, 1000, 1000});
  ImageRef red = TakeImageAndEndImageContext();
  ASSERT_NE(red, nullptr);
  ASSERT_EQ(red->raster()->PremultipliedPixel(2999, 2999), 0xFFFF0000u);
  const std::uint8_t* const memory = red->raster()->data();
  red = nullptr;
  ASSERT_TRUE(BeginImageContextWithOptions({1000, 1000}, false, 3));
  const ImageRef fresh = TakeImageAndEndImageContext();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->raster()->data(), memory);  // the block given back
  for (const auto& [x, y] : {std::pair(0u, 0u), std::pair(1500u, 1500u), std::pair(2999u, 2999u)}) {
    EXPECT_EQ(fresh->raster()->PremultipliedPixel(x, y), 0u) << x << ", " << y;
  }
}

TEST(ImageSurfaces, PixelSidesRoundUpPastAWhiskerAboveAWholePixel) {
  // 50 points at scale 1.1 come out as 55.00000000000001 pixels: 55. 1e-8 points more are
  // 1.1e-8 pixels more: 56. Both sides, each way round.
  for (const auto& [size, pixels] : {std::pair(Size{50, 50 + 1e-8}, std::tuple(55u, 56u)),
                                     std::pair(Size{50 + 1e-8, 50}, std::tuple(56u, 55u))}) {
    ASSERT_TRUE(BeginImageContextWithOptions(size, false, 1.1));
    const ImageRef image = TakeImageAndEndImageContext();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::tuple(image->raster()->width(), image->raster()->height()), pixels);
  }
}

TEST(ImageSurfaces, RendererDrawsAtTheFormatsScale) {
  ScopedScreenOverrides screen({.scale = 3.0});
  EXPECT_EQ(ImageRendererFormat::Default().scale, 3.0);
  const ImageRenderer renderer({40, 20});
  GraphicsContext* during = nullptr;
  const ImageRef image = renderer.Image([&](GraphicsContext& c) {
    during = GetCurrentContext();
    c.SetFillColor(0, 0, 1, 1);
    c.FillRect({0, 0, 40, 20});
    // The image-level draw goes to the renderer's context.
    Image::Make(Raster::Make(1, 1, 4, kWorkingBitmapInfo, ColorSpace::kRGB, {0, 0, 255, 255}))
        ->Draw({0, 0, 1, 1});
  });
  ASSERT_NE(image, nullptr);
  EXPECT_NE(during, nullptr);
  EXPECT_EQ(GetCurrentContext(), nullptr);
  EXPECT_EQ(image->scale(), 3.0);
  EXPECT_EQ(image->raster()->width(), 120u);
  EXPECT_EQ(image->raster()->PremultipliedPixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(image->raster()->PremultipliedPixel(3, 3), 0xFF0000FFu);

  // Actions that throw give nothing and leave the stack as it was.
  EXPECT_EQ(renderer.Image([](GraphicsContext&) { throw std::runtime_error("x"); }), nullptr);
  EXPECT_EQ(GetCurrentContext(), nullptr);
  EXPECT_EQ(ImageRenderer({0, 10}).Image(nullptr), nullptr);
}

}  // namespace
}  // namespace kelvane::platform
