// SPDX-License-Identifier: Apache-2.0
#include "kelvane/interface/gui_cache.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "kelvane/colours/color_cache.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::FontRef;
using platform::Path;

constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

// The path as text, each run of curves (an arc as drawn) written "A" with its end point. Every
// curve's middle must lie on its corner's circle, on the outer side: an arc swept the long way
// round or bulging inwards fails.
std::string ArcsAndEdges(const Path& path, const platform::Rect& rect, double r) {
  std::string text;
  platform::Point at;
  const auto& elements = path.elements();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const double* v = elements[i].v;
    const bool curve = elements[i].op == Path::Op::kCurve;
    if (curve) {  // the middle, seen from its corner's centre, folded into the bottom right
      const double mx = (at.x + 3 * v[0] + 3 * v[2] + v[4]) / 8 - rect.x - rect.width / 2,
                   my = (at.y + 3 * v[1] + 3 * v[3] + v[5]) / 8 - rect.y - rect.height / 2;
      const double dx = std::abs(mx) - rect.width / 2 + r, dy = std::abs(my) - rect.height / 2 + r;
      EXPECT_THAT(
          std::tuple(dx, dy, std::hypot(dx, dy)),
          ::testing::FieldsAre(::testing::Ge(0), ::testing::Ge(0), ::testing::DoubleNear(r, 0.02)));
      v += 4;
    }
    at = {v[0], v[1]};
    if (curve && i + 1 < elements.size() && elements[i + 1].op == Path::Op::kCurve) continue;
    text += std::string(" ") + "ML???ZA"[static_cast<int>(elements[i].op)];
    if (elements[i].op != Path::Op::kClose)
      text += std::to_string(std::lround(at.x)) + "," + std::to_string(std::lround(at.y));
  }
  return text.empty() ? text : text.substr(1);
}

TEST(SGUICache, DrawRoundRectAndRoundViewTraceClockwiseCorners) {
  auto context = platform::GraphicsContext::MakeImageSurface({40, 40}, false, 2);
  const platform::Rect rect{1, 2, 20, 10};
  const std::string plain = "M1,2 L21,2 L21,12 L1,12 Z";
  const std::string round = "M1,6 A5,2 L17,2 A21,6 L21,8 A17,12 L5,12 A1,8 Z";
  for (const auto& [radius, expected] :
       {std::pair{0.0, plain}, {-3.0, plain}, {NAN, plain}, {4.0, round}}) {
    context->MoveTo(30, 30);  // a path left over from earlier drawing
    SGUICache::DrawRoundRect(rect, context.get(), radius);
    EXPECT_EQ(ArcsAndEdges(context->CopyPath(), rect, radius > 0 ? radius : 0), expected);
  }
  SGUICache::DrawRoundRect(rect, nullptr, 4);  // no context: nothing to do

  // Masks round the top pair for bit 1 and the bottom pair for bit 4, in the view's bounds: the
  // frame's origin is not the bounds', and a mask placed by the frame would miss the view.
  const platform::ViewRef view = platform::View::Make({100, 50, 20, 10});
  const std::string top = "M0,4 A4,0 L16,0 A20,4", flat_top = "M0,0 L20,0";
  const std::string bottom = " L20,6 A16,10 L4,10 A0,6 Z", flat_bottom = " L20,10 L0,10 Z";
  const std::pair<std::uint64_t, std::string> cases[] = {
      {1, top + flat_bottom},           {4, flat_top + bottom},      {5, top + bottom},
      {2, flat_top + flat_bottom},      {8, flat_top + flat_bottom}, {0, "none"},
      {~0xFull, flat_top + flat_bottom}};
  for (const auto& [corners, expected] : cases) {
    SGUICache::RoundView(*view, corners, 4);
    const auto mask = std::dynamic_pointer_cast<platform::ShapeLayer>(view->layer()->mask());
    context->BeginPath();
    if (mask != nullptr) context->AddPath(mask->path());
    EXPECT_EQ(mask ? ArcsAndEdges(context->CopyPath(), view->bounds(), 4) : "none", expected)
        << "corners " << corners;
  }
}

TEST(SGUICache, FactoriesMakeExactImagesLabelsAndFields) {
  platform::ScopedScreenOverrides screen({.scale = 2.0});
  const platform::ImageRef red_blue = platform::Image::Make(
      platform::Raster::Make(2, 1, 8, platform::kWorkingBitmapInfo, platform::ColorSpace::kRGB,
                             {0, 0, 255, 255, 255, 0, 0, 255}));  // B, G, R, A
  const platform::ImageRef stretched = SGUICache::ImageReSize(red_blue, {6, 4});
  ASSERT_NE(stretched, nullptr);
  ASSERT_EQ(std::tuple(stretched->size(), stretched->scale()),
            std::tuple(platform::Size{6, 4}, 2.0));
  EXPECT_EQ(stretched->raster()->PremultipliedPixel(0, 0), kRed);
  EXPECT_EQ(stretched->raster()->PremultipliedPixel(11, 7), kBlue);
  EXPECT_EQ(SGUICache::ImageReSize(nullptr, {6, 4}), nullptr);
  EXPECT_EQ(SGUICache::ImageReSize(red_blue, {0, 4}), nullptr);

  const platform::ImageRef pixel = SGUICache::ImageWithColor(platform::Color::RGB(1, 0, 0, 1));
  ASSERT_NE(pixel, nullptr);
  EXPECT_EQ(pixel->raster()->PremultipliedPixel(0, 0), kRed);
  // The surface was closed; no colour, no image.
  EXPECT_EQ(platform::GetCurrentContext(), nullptr);
  EXPECT_EQ(SGUICache::ImageWithColor(nullptr), nullptr);

  EXPECT_EQ(SGUICache::Label({1, 2, 30, 40})->frame(), (platform::Rect{1, 2, 30, 40}));
  const platform::TextFieldRef field = SGUICache::Field({5, 6, 70, 80});
  // The text colour in the light appearance: appRoyalBlue, 0x1A61CC.
  EXPECT_EQ(Create::rgba(*field->text_color()->Resolved(platform::Appearance::kLight)),
            0xFF1A61CCu);
}

std::vector<FontRef> CondensedTable() {
  std::vector<FontRef> fonts;
  for (const FontTableEntry& entry : s_font_con_bold) fonts.push_back(entry.load());
  return fonts;
}

TEST(SGUICache, FontTablesCoverFourToFortyPointsWithFallbacks) {
  for (auto lookup :
       {&SGUICache::FontSystemNorm, &SGUICache::FontSystemBold, &SGUICache::FontCondencedBold}) {
    for (std::uint32_t size : {0u, 3u, 41u, 0xFFFFFFFFu}) EXPECT_EQ(lookup(size), nullptr);
  }
  EXPECT_EQ(std::tuple(SGUICache::FontSystemNorm(4), SGUICache::FontSystemBold(40)),
            std::tuple(s_font_hal_norm[0].load(), s_font_hal_bold[36].load()));
  // Each entry has its own size; a missing family takes the very system font objects; a
  // condensed name fills every size.
  const bool medium = platform::Font::Named(u"HelveticaNeue-Medium", 12) != nullptr;
  const bool regular = platform::Font::Named(u"HelveticaNeue", 12) != nullptr;
  SGUICache::FontCondencedBoldName(u"DejaVu Sans Mono");
  const std::vector<FontRef> installed = CondensedTable();
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    const FontRef bold = s_font_sys_bold[i].load(), norm = s_font_sys_norm[i].load();
    ASSERT_THAT((std::vector{bold, norm, installed[i]}), ::testing::Each(::testing::NotNull()));
    ASSERT_NE(bold, norm);
    EXPECT_EQ((std::vector{bold->point_size(), norm->point_size(), installed[i]->point_size()}),
              std::vector<double>(3, 4.0 + i));
    EXPECT_EQ(installed[i]->family(), u"DejaVu Sans Mono");
    EXPECT_EQ(std::tuple(s_font_hal_bold[i].load() == bold, s_font_hal_norm[i].load() == norm),
              std::tuple(!medium, !regular));
  }
  // An empty or absent name changes nothing; a missing family empties the condensed table, and
  // the lookup falls back to the bold system font.
  EXPECT_EQ(SGUICache::FontCondencedBold(12), installed[8]);
  SGUICache::FontCondencedBoldName(u"");
  SGUICache::FontCondencedBoldName(std::nullopt);
  EXPECT_EQ(CondensedTable(), installed);
  SGUICache::FontCondencedBoldName(u"No Such Font Family 8e1f");
  EXPECT_EQ(CondensedTable(), std::vector<FontRef>(kFontTableSize));
  EXPECT_EQ(SGUICache::FontCondencedBold(12), s_font_sys_bold[8].load());
}

// Readers on other threads while the condensed table is refilled: every font they get is a
// whole, live font of its size. Under ThreadSanitizer this also checks the publication itself.
TEST(SGUICache, CondensedRefillIsSafeForConcurrentReaders) {
  const char16_t* const names[] = {u"DejaVu Sans Mono", u"No Such Font 8e1f", u"DejaVu Serif"};
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  testing::OnThreads(4, [&](int t) {  // the last thread refills, the others read every size
    for (int i = 0; t == 3 && i < 36; ++i) SGUICache::FontCondencedBoldName(names[i % 3]);
    if (t == 3) done = true;
    for (std::uint32_t size = 4; !done.load(std::memory_order_relaxed);
         size = size == 40 ? 4 : size + 1) {
      const FontRef font = SGUICache::FontCondencedBold(size);
      if (font == nullptr || font->point_size() != size || font->name().empty()) ++bad;
    }
  });
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace kelvane
