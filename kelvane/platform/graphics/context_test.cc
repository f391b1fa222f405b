// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "kelvane/platform/device/screen.h"

namespace kelvane::platform {
namespace {

constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00,
                        kWhite = 0xFFFFFFFF, kClear = 0;

// Pixel (x, y) of the context's image, rows from the top of memory.
std::uint32_t PixelOf(GraphicsContext& context, std::uint32_t x, std::uint32_t y) {
  const ImageRef image = context.CreateImage();
  return image ? image->raster()->PremultipliedPixel(x, y) : 0xDEADBEEF;
}

TEST(GraphicsContext, OriginTopLeftOnSurfacesBottomLeftOnBitmaps) {
  auto surface = GraphicsContext::MakeImageSurface({4, 3}, false, 1);
  auto bitmap = GraphicsContext::MakeBitmap(nullptr, 4, 3, 8, 0, ColorSpace::kRGB, 0x2002);
  for (GraphicsContext* c : {surface.get(), bitmap.get()}) {
    c->SetFillColor(1, 0, 0, 1);
    c->FillRect({0, 0, 1, 1});
  }
  EXPECT_EQ(PixelOf(*surface, 0, 0), kRed);
  EXPECT_EQ(PixelOf(*bitmap, 0, 2), kRed);  // the last row of memory is the bottom
  EXPECT_EQ(surface->CTM(), (AffineTransform{1, 0, 0, -1, 0, 3}));
  EXPECT_EQ(bitmap->CTM(), AffineTransform::Identity());
}

TEST(GraphicsContext, ScaleMultipliesThePixels) {
  auto surface = GraphicsContext::MakeImageSurface({10, 5}, false, 2);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->pixel_height(), 10u);
  surface->SetFillColor(0, 0, 1, 1);
  surface->FillRect({0, 0, 1, 1});
  EXPECT_EQ(PixelOf(*surface, 1, 1), kBlue);
  EXPECT_EQ(PixelOf(*surface, 2, 0), kClear);
  {
    ScopedScreenOverrides screen({.scale = 3.0});
    EXPECT_EQ(GraphicsContext::MakeImageSurface({40, 40}, false, 0)->pixel_width(), 120u);
  }
  EXPECT_EQ(GraphicsContext::MakeImageSurface({0, 5}, false, 1), nullptr);
  EXPECT_EQ(GraphicsContext::MakeImageSurface({5, 5}, false, -1), nullptr);
  EXPECT_EQ(GraphicsContext::MakeImageSurface({40000, 1}, false, 1), nullptr);
  EXPECT_EQ(GraphicsContext::MakeImageSurface({30000, 30000}, false, 1), nullptr);  // > 2^31 B
  auto opaque = GraphicsContext::MakeImageSurface({2, 2}, true, 1);
  EXPECT_EQ(opaque->CreateImage()->raster()->bitmap_info(), kOpaqueWorkingBitmapInfo);
  EXPECT_EQ(PixelOf(*opaque, 0, 0), 0xFF000000u);
}

TEST(GraphicsContext, GradientsStopAtTheirEnds) {
  const double components[] = {1, 0, 0, 1, 0, 0, 1, 1};
  const GradientRef gradient = Gradient::WithColorComponents(components, {}, 2);
  ASSERT_NE(gradient, nullptr);
  for (unsigned options : {0u, 3u}) {
    auto surface = GraphicsContext::MakeImageSurface({2, 40}, false, 1);
    surface->DrawLinearGradient(*gradient, {0, 10}, {0, 30}, options);
    const std::uint32_t first = PixelOf(*surface, 0, 10), last = PixelOf(*surface, 1, 29);
    EXPECT_EQ(first >> 24, 255u);
    EXPECT_GE((first >> 16) & 255, 240u);  // within half a row's step of the stop colour
    EXPECT_GE(last & 255, 240u);
    EXPECT_EQ(PixelOf(*surface, 0, 9), options ? kRed : kClear);
    EXPECT_EQ(PixelOf(*surface, 1, 30), options ? kBlue : kClear);
  }
  EXPECT_EQ(Gradient::WithColorComponents(components, std::vector<double>{0.6, 0.4}, 2), nullptr);
  EXPECT_EQ(Gradient::WithColorComponents(components, {}, 3), nullptr);
}

TEST(GraphicsContext, FillsArcsAndClipsToMasks) {
  // Arc direction: angle increasing from 0 to pi/2 runs towards +y of user space, which is up
  // in a bitmap context.
  auto bitmap = GraphicsContext::MakeBitmap(nullptr, 20, 20, 8, 0, ColorSpace::kRGB, 0x2002);
  bitmap->MoveTo(10, 10);
  bitmap->AddArc(10, 10, 10, 0, M_PI / 2, false);
  bitmap->ClosePath();
  bitmap->FillPath();
  EXPECT_EQ(PixelOf(*bitmap, 13, 6), 0xFF000000u);  // upper right quarter in memory
  EXPECT_EQ(PixelOf(*bitmap, 13, 13), kClear);

  // A grey mask gives coverage from its level; an alpha mask from its alpha. Placed like
  // DrawImage: in an image surface the mask's first row lands at the bottom.
  const RasterRef grey = Raster::Make(2, 2, 4, 0, ColorSpace::kGrey, {0, 255, 0, 0, 255, 0, 0, 0});
  const RasterRef alpha = Raster::Make(2, 2, 8, kWorkingBitmapInfo, ColorSpace::kRGB,
                                       {0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0});
  for (const RasterRef& mask : {grey, alpha}) {
    auto masked = GraphicsContext::MakeImageSurface({4, 4}, false, 1);
    masked->SetInterpolationQuality(kInterpolationNone);
    masked->SaveGState();
    masked->ClipToMask({0, 0, 4, 4}, *mask);
    masked->SetFillColor(0, 1, 0, 1);
    masked->FillRect({0, 0, 4, 4});
    masked->RestoreGState();
    EXPECT_EQ(PixelOf(*masked, 0, 3), kClear);  // first row, left: 0
    EXPECT_EQ(PixelOf(*masked, 3, 3), kGreen);  // first row, right: full
    masked->FillRect({0, 0, 4, 4});  // after the restore the mask (and the green) are gone
    EXPECT_EQ(PixelOf(*masked, 3, 0), 0xFF000000u);
  }
}

TEST(GraphicsContext, StateStackAndSingularTransforms) {
  auto surface = GraphicsContext::MakeImageSurface({4, 4}, false, 1);
  surface->RestoreGState();  // unmatched: ignored, the context stays usable
  surface->SaveGState();
  surface->ClipToRect({0, 0, 2, 2});
  surface->SetFillColor(1, 0, 0, 1);
  surface->ScaleCTM(0, 1);
  surface->FillRect({0, 0, 4, 4});  // nothing: the transform cannot be inverted
  EXPECT_EQ(PixelOf(*surface, 0, 0), kClear);
  surface->RestoreGState();
  surface->AddEllipseInRect({0, 0, 0, 4});  // flat: must not break the context
  surface->BeginPath();
  surface->FillRect({0, 0, 4, 4});  // black again, no clip, the transform back
  EXPECT_EQ(PixelOf(*surface, 3, 3), 0xFF000000u);
  // Filling a rectangle leaves the current path alone.
  surface->AddRect({0, 0, 1, 1});
  surface->FillRect({2, 2, 1, 1});
  EXPECT_FALSE(surface->IsPathEmpty());
  surface->Clip();
  EXPECT_TRUE(surface->IsPathEmpty());
}

TEST(GraphicsContext, ReadsThePathBackAndReplaysIt) {
  auto surface = GraphicsContext::MakeImageSurface({20, 20}, false, 2);
  auto bitmap = GraphicsContext::MakeBitmap(nullptr, 20, 20, 8, 0, ColorSpace::kRGB, 0x2002);
  surface->MoveTo(10, 10);
  surface->AddCurveToPoint(12, 10, 12, 13, 12, 13);
  surface->AddLineTo(10, 13);
  surface->ClosePath();
  const Path path = surface->CopyPath();  // in points, whatever the scale
  ASSERT_EQ(path.elements().size(), 4u);  // the move the engine adds after a close is implied
  const Path::Element curve = path.elements()[1];
  EXPECT_EQ(curve.op, Path::Op::kCurve);
  EXPECT_EQ(std::vector<double>(curve.v, curve.v + 6),
            (std::vector<double>{12, 10, 12, 13, 12, 13}));
  bitmap->AddPath(path);  // replayed, it fills as the original would
  bitmap->SetFillColor(1, 0, 0, 1);
  bitmap->FillPath();
  EXPECT_EQ(PixelOf(*bitmap, 10, 20 - 13), kRed);
  EXPECT_EQ(PixelOf(*bitmap, 14, 20 - 13), kClear);
}

TEST(GraphicsContext, BitmapsInOtherLayoutsKeepCallerMemoryInStep) {
  // Alpha first without a byte order: A, R, G, B in memory. The caller's pixels are kept.
  std::vector<std::uint8_t> memory(2 * 4 * 2, 0);
  const std::uint8_t blue[] = {255, 0, 0, 255};
  std::copy(std::begin(blue), std::end(blue), memory.begin() + 12);  // at (1, 1)
  auto bitmap = GraphicsContext::MakeBitmap(memory.data(), 2, 2, 8, 8, ColorSpace::kRGB, 2);
  ASSERT_NE(bitmap, nullptr);
  bitmap->SetFillColor(1, 0, 0, 1);
  bitmap->FillRect({0, 1, 1, 1});  // top left of user space: row 0 of memory
  auto* data = static_cast<std::uint8_t*>(bitmap->Data());
  EXPECT_EQ(data, memory.data());
  EXPECT_EQ(std::vector<std::uint8_t>(memory.begin(), memory.begin() + 4),
            (std::vector<std::uint8_t>{255, 255, 0, 0}));
  EXPECT_EQ(memory[15], 255);
  const std::uint8_t green[] = {255, 0, 255, 0};
  std::copy(std::begin(green), std::end(green), data + 4);  // the caller paints (1, 0) green
  bitmap->FillRect({0, 0, 1, 1});
  EXPECT_EQ(bitmap->CreateImage()->raster()->PremultipliedPixel(1, 0), kGreen);
  EXPECT_EQ(bitmap->CreateImage()->raster()->bitmap_info(), 2u);
  // Grey and alpha-only bitmaps; layouts the platform does not draw into are refused.
  auto grey = GraphicsContext::MakeBitmap(nullptr, 2, 1, 8, 0, ColorSpace::kGrey, 0);
  grey->SetFillColor(1, 1, 1, 1);
  grey->FillRect({0, 0, 1, 1});
  EXPECT_EQ(static_cast<std::uint8_t*>(grey->Data())[0], 255);
  EXPECT_EQ(grey->BytesPerRow(), 4u);
  EXPECT_NE(GraphicsContext::MakeBitmap(nullptr, 2, 1, 8, 0, ColorSpace::kRGB, 7), nullptr);
  for (std::uint32_t refused : {0u, 3u, 4u}) {
    EXPECT_EQ(GraphicsContext::MakeBitmap(nullptr, 2, 1, 8, 0, ColorSpace::kRGB, refused), nullptr);
  }
  EXPECT_EQ(GraphicsContext::MakeBitmap(nullptr, 2, 1, 8, 7, ColorSpace::kRGB, 2), nullptr);
}

}  // namespace
}  // namespace kelvane::platform
