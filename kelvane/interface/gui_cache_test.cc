#include "kelvane/interface/gui_cache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/ui/layer.h"

namespace kelvane {
namespace {

using platform::GraphicsContext;
using platform::Path;
using platform::Point;

constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kClear = 0;

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", std::round(v * 1000) / 1000);
  return text;
}

// The path with each run of curves (an arc as drawn) written as "A" and its end point, after
// checking that every curve's middle lies on the corner's circle and on its outer side, so an
// arc swept the wrong way round, or bulging inwards, is caught.
std::string ArcsAndEdges(const Path& path, const platform::Rect& rect, double r) {
  std::string text;
  Point at;
  bool in_arc = false;
  for (const Path::Element& e : path.elements()) {
    if (e.op == Path::Op::kCurve) {
      const double mx = (at.x + 3 * e.v[0] + 3 * e.v[2] + e.v[4]) / 8;
      const double my = (at.y + 3 * e.v[1] + 3 * e.v[3] + e.v[5]) / 8;
      const bool right = mx > rect.x + rect.width / 2, bottom = my > rect.y + rect.height / 2;
      const double cx = right ? rect.MaxX() - r : rect.MinX() + r;
      const double cy = bottom ? rect.MaxY() - r : rect.MinY() + r;
      EXPECT_NEAR(std::hypot(mx - cx, my - cy), r, 0.02) << "curve ending " << e.v[4];
      EXPECT_TRUE((right ? mx >= cx : mx <= cx) && (bottom ? my >= cy : my <= cy));
      at = {e.v[4], e.v[5]};
      if (!in_arc) text += " A";
      in_arc = true;
      continue;
    }
    if (in_arc) text += Number(at.x) + "," + Number(at.y);
    in_arc = false;
    if (e.op == Path::Op::kClose) {
      text += " Z";
    } else {
      at = {e.v[0], e.v[1]};
      text += (e.op == Path::Op::kMove ? " M" : " L") + Number(at.x) + "," + Number(at.y);
    }
  }
  return text.empty() ? text : text.substr(1);
}

TEST(SGUICache, DrawRoundRectReplacesThePathWithClockwiseCorners) {
  auto context = GraphicsContext::MakeImageSurface({40, 40}, false, 2);
  ASSERT_NE(context, nullptr);
  const platform::Rect rect{1, 2, 20, 10};
  struct Case {
    double radius;
    const char* path;
  };
  const Case cases[] = {
      {0, "M1,2 L21,2 L21,12 L1,12 Z"},
      {-3, "M1,2 L21,2 L21,12 L1,12 Z"},
      {NAN, "M1,2 L21,2 L21,12 L1,12 Z"},
      {4, "M1,6 A5,2 L17,2 A21,6 L21,8 A17,12 L5,12 A1,8 Z"},
  };
  for (const Case& c : cases) {
    context->MoveTo(30, 30);  // a path left over from earlier drawing
    context->AddLineTo(35, 35);
    SGUICache::DrawRoundRect(rect, context.get(), c.radius);
    EXPECT_EQ(ArcsAndEdges(context->CopyPath(), rect, c.radius > 0 ? c.radius : 0), c.path)
        << "radius " << c.radius;
  }
  // A rectangle given with negative sides has the same edges.
  SGUICache::DrawRoundRect({21, 12, -20, -10}, context.get(), 4);
  EXPECT_EQ(ArcsAndEdges(context->CopyPath(), rect, 4), cases[3].path);
  SGUICache::DrawRoundRect(rect, nullptr, 4);  // no context: nothing to do, no crash
}

// Fills the mask of `view` into a surface of the view's size; the four corner pixels, clockwise
// from the top left, as 1 where the mask covers them, and the centre.
std::string MaskCorners(const platform::View& view) {
  const auto mask = std::dynamic_pointer_cast<platform::ShapeLayer>(view.layer()->mask());
  if (mask == nullptr) return "none";
  const platform::Rect b = view.bounds();
  auto context = GraphicsContext::MakeImageSurface(b.size(), false, 1);
  context->AddPath(mask->path());
  context->SetFillColor(0, 0, 1, 1);
  context->FillPath();
  const platform::ImageRef image = context->CreateImage();
  const auto w = static_cast<std::uint32_t>(b.width) - 1,
             h = static_cast<std::uint32_t>(b.height) - 1;
  std::string text;
  for (const auto& [x, y] : {std::pair{0u, 0u}, {w, 0u}, {w, h}, {0u, h}, {w / 2, h / 2}}) {
    const std::uint32_t pixel = image->raster()->PremultipliedPixel(x, y);
    text += pixel == kBlue ? '1' : pixel == kClear ? '0' : '?';
  }
  return text;
}

TEST(SGUICache, RoundViewRoundsTopAndBottomPairsOnly) {
  const platform::ViewRef view = platform::View::Make({100, 50, 20, 10});
  ASSERT_NE(view, nullptr);
  struct Case {
    std::uint64_t corners;
    const char* mask;
  };
  const Case cases[] = {
      {1, "00111"},
      {2, "11111"},
      {4, "11001"},
      {5, "00001"},
      {8, "11111"},
      {0, "none"},
      {0xFFFFFFFFFFFFFFF0u, "11111"},
  };
  for (const Case& c : cases) {
    SGUICache::RoundView(*view, c.corners, 4);
    EXPECT_EQ(MaskCorners(*view), c.mask) << "corners " << c.corners;
  }
  // The plain rectangle is the view's bounds, whatever the frame's origin.
  SGUICache::RoundView(*view, 2, 4);
  const auto mask = std::dynamic_pointer_cast<platform::ShapeLayer>(view->layer()->mask());
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(ArcsAndEdges(mask->path(), view->bounds(), 0), "M0,0 L20,0 L20,10 L0,10 Z");
  // Corners 0 remove the mask that is there.
  SGUICache::RoundView(*view, 0, 4);
  EXPECT_EQ(view->layer()->mask(), nullptr);
}

platform::ImageRef TwoPixels(double scale) {
  // Red on the left, blue on the right, in the working layout (B, G, R, A).
  std::vector<std::uint8_t> bytes = {0, 0, 255, 255, 255, 0, 0, 255};
  return platform::Image::Make(platform::Raster::Make(2, 1, 8, platform::kWorkingBitmapInfo,
                                                      platform::ColorSpace::kRGB, std::move(bytes)),
                               scale);
}

TEST(SGUICache, ImageReSizeStretchesToExactlyTheSize) {
  platform::ScopedScreenOverrides screen({.scale = 2.0});
  const platform::ImageRef stretched = SGUICache::ImageReSize(TwoPixels(1), {6, 4});
  ASSERT_NE(stretched, nullptr);
  EXPECT_EQ(stretched->size(), (platform::Size{6, 4}));
  EXPECT_EQ(stretched->scale(), 2.0);
  EXPECT_EQ(stretched->raster()->PremultipliedPixel(0, 0), kRed);
  EXPECT_EQ(stretched->raster()->PremultipliedPixel(11, 7), kBlue);
  EXPECT_EQ(SGUICache::ImageReSize(TwoPixels(2), {1, 3})->size(), (platform::Size{1, 3}));
  EXPECT_EQ(SGUICache::ImageReSize(nullptr, {6, 4}), nullptr);
  EXPECT_EQ(SGUICache::ImageReSize(TwoPixels(1), {0, 4}), nullptr);
}

TEST(SGUICache, ImageWithColorIsOnePointAtScaleOne) {
  platform::ScopedScreenOverrides screen({.scale = 3.0});
  const platform::ImageRef image = SGUICache::ImageWithColor(platform::Color::RGB(1, 0, 0, 1));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), (platform::Size{1, 1}));
  EXPECT_EQ(image->scale(), 1.0);
  EXPECT_EQ(image->raster()->PremultipliedPixel(0, 0), kRed);
  EXPECT_EQ(SGUICache::ImageWithColor(nullptr), nullptr);
  EXPECT_EQ(platform::GetCurrentContext(), nullptr);  // the surface was closed
}

}  // namespace
}  // namespace kelvane
