#include "kelvane/interface/gui_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/testing/child_process.h"

namespace kelvane {
namespace {

using platform::Font;
using platform::FontRef;
using platform::GraphicsContext;
using platform::Path;

constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kClear = 0;

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
    if (curve) {
      const double mx = (at.x + 3 * v[0] + 3 * v[2] + v[4]) / 8,
                   my = (at.y + 3 * v[1] + 3 * v[3] + v[5]) / 8;
      const bool right = mx > rect.x + rect.width / 2, bottom = my > rect.y + rect.height / 2;
      const double cx = right ? rect.MaxX() - r : rect.MinX() + r;
      const double cy = bottom ? rect.MaxY() - r : rect.MinY() + r;
      EXPECT_NEAR(std::hypot(mx - cx, my - cy), r, 0.02);
      EXPECT_TRUE((right ? mx >= cx : mx <= cx) && (bottom ? my >= cy : my <= cy));
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

TEST(SGUICache, DrawRoundRectReplacesThePathWithClockwiseCorners) {
  auto context = GraphicsContext::MakeImageSurface({40, 40}, false, 2);
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
}

// The view's mask filled into a surface of the view's size: "1" where it covers the corner
// pixels (clockwise from the top left) and the centre, "none" without a mask.
std::string MaskCorners(const platform::View& view) {
  const auto mask = std::dynamic_pointer_cast<platform::ShapeLayer>(view.layer()->mask());
  if (mask == nullptr) return "none";
  const platform::Rect b = view.bounds();
  auto context = GraphicsContext::MakeImageSurface(b.size(), false, 1);
  context->AddPath(mask->path());
  context->SetFillColor(0, 0, 1, 1);
  context->FillPath();
  const platform::RasterRef raster = context->CreateImage()->raster();
  const auto w = static_cast<std::uint32_t>(b.width), h = static_cast<std::uint32_t>(b.height);
  std::string text;
  for (const auto& [x, y] :
       {std::pair{0u, 0u}, {w - 1, 0u}, {w - 1, h - 1}, {0u, h - 1}, {w / 2, h / 2}}) {
    const std::uint32_t pixel = raster->PremultipliedPixel(x, y);
    text += pixel == kBlue ? '1' : pixel == kClear ? '0' : '?';
  }
  return text;
}

TEST(SGUICache, RoundViewRoundsTopAndBottomPairsOnly) {
  // The frame's origin is not the bounds': a mask placed by the frame would miss the view.
  const platform::ViewRef view = platform::View::Make({100, 50, 20, 10});
  const std::pair<std::uint64_t, const char*> cases[] = {
      {1, "00111"}, {2, "11111"}, {4, "11001"},       {5, "00001"},
      {8, "11111"}, {0, "none"},  {~0xFull, "11111"},
  };
  for (const auto& [corners, mask] : cases) {
    SGUICache::RoundView(*view, corners, 4);
    EXPECT_EQ(MaskCorners(*view), mask) << "corners " << corners;
  }
}

platform::ImageRef RedAndBlue(double scale) {
  std::vector<std::uint8_t> bytes = {0, 0, 255, 255, 255, 0, 0, 255};  // B, G, R, A
  return platform::Image::Make(platform::Raster::Make(2, 1, 8, platform::kWorkingBitmapInfo,
                                                      platform::ColorSpace::kRGB, std::move(bytes)),
                               scale);
}

TEST(SGUICache, ImageFactoriesMakeExactSizes) {
  platform::ScopedScreenOverrides screen({.scale = 2.0});
  const platform::ImageRef stretched = SGUICache::ImageReSize(RedAndBlue(1), {6, 4});
  ASSERT_TRUE(stretched && stretched->size() == (platform::Size{6, 4}) && stretched->scale() == 2);
  EXPECT_EQ(stretched->raster()->PremultipliedPixel(0, 0), kRed);
  EXPECT_EQ(stretched->raster()->PremultipliedPixel(11, 7), kBlue);
  EXPECT_EQ(SGUICache::ImageReSize(nullptr, {6, 4}), nullptr);
  EXPECT_EQ(SGUICache::ImageReSize(RedAndBlue(1), {0, 4}), nullptr);

  const platform::ImageRef pixel = SGUICache::ImageWithColor(platform::Color::RGB(1, 0, 0, 1));
  ASSERT_TRUE(pixel && pixel->size() == (platform::Size{1, 1}) && pixel->scale() == 1);
  EXPECT_EQ(pixel->raster()->PremultipliedPixel(0, 0), kRed);
  EXPECT_EQ(SGUICache::ImageWithColor(nullptr), nullptr);
  EXPECT_EQ(platform::GetCurrentContext(), nullptr);  // the surface was closed
}

// In a fresh process, before any name is installed, the condensed table is empty and the
// lookup answers with the bold system font.
[[maybe_unused]] const bool kCondensedFirst = testing::ChildProcess("condensed-first", [] {
  const FontRef font = SGUICache::FontCondencedBold(12);
  if (font == nullptr || font != s_font_sys_bold[8].load() || font->point_size() != 12) return 1;
  for (const FontTableEntry& entry : s_font_con_bold) {
    if (entry.load() != nullptr) return 2;
  }
  return 0;
});

TEST(SGUICache, FontTablesCoverFourToFortyPointsWithFallbacks) {
  EXPECT_EQ(testing::RunChildProcess("condensed-first"), 0);
  for (auto lookup :
       {&SGUICache::FontSystemNorm, &SGUICache::FontSystemBold, &SGUICache::FontCondencedBold}) {
    for (std::uint32_t size : {0u, 3u, 41u, 0xFFFFFFFFu}) EXPECT_EQ(lookup(size), nullptr);
  }
  EXPECT_EQ(SGUICache::FontSystemNorm(4), s_font_hal_norm[0].load());
  EXPECT_EQ(SGUICache::FontSystemNorm(40), s_font_hal_norm[36].load());
  // Each entry has its own size; a missing family takes the very system font objects.
  const bool medium = Font::Named(u"HelveticaNeue-Medium", 12) != nullptr;
  const bool regular = Font::Named(u"HelveticaNeue", 12) != nullptr;
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    const FontRef bold = s_font_sys_bold[i].load(), norm = s_font_sys_norm[i].load();
    ASSERT_TRUE(bold != nullptr && norm != nullptr && bold != norm);
    EXPECT_TRUE(bold->point_size() == 4.0 + i && norm->point_size() == 4.0 + i);
    EXPECT_EQ(s_font_hal_bold[i].load() == bold, !medium);
    EXPECT_EQ(s_font_hal_norm[i].load() == norm, !regular);
  }
}

std::vector<FontRef> CondensedTable() {
  std::vector<FontRef> fonts;
  for (const FontTableEntry& entry : s_font_con_bold) fonts.push_back(entry.load());
  return fonts;
}

TEST(SGUICache, CondensedNameFillsEverySizeOrFallsBack) {
  SGUICache::FontCondencedBoldName(u"DejaVu Sans Mono");
  const std::vector<FontRef> installed = CondensedTable();
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    ASSERT_TRUE(installed[i] && installed[i]->point_size() == 4.0 + i &&
                installed[i]->family() == u"DejaVu Sans Mono");
  }
  EXPECT_EQ(SGUICache::FontCondencedBold(12), installed[8]);
  SGUICache::FontCondencedBoldName(u"");  // an empty or absent name changes nothing
  SGUICache::FontCondencedBoldName(std::nullopt);
  EXPECT_EQ(CondensedTable(), installed);
  SGUICache::FontCondencedBoldName(u"No Such Font Family 8e1f");
  EXPECT_EQ(CondensedTable(), std::vector<FontRef>(kFontTableSize));
  EXPECT_EQ(SGUICache::FontCondencedBold(12), s_font_sys_bold[8].load());
}

// Readers on other threads while the condensed table is refilled: every font they get is a
// whole, live font of its size. Under ThreadSanitizer this also checks the publication itself.
TEST(SGUICache, CondensedRefillIsSafeForConcurrentReaders) {
  SGUICache::initialize();
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!done.load(std::memory_order_relaxed)) {
        for (std::uint32_t size = 4; size <= 40; ++size) {
          const FontRef font = SGUICache::FontCondencedBold(size);
          if (font == nullptr || font->point_size() != size || font->name().empty()) ++bad;
        }
      }
    });
  }
  for (int round = 0; round < 12; ++round) {
    for (const char16_t* name : {u"DejaVu Sans Mono", u"No Such Font 8e1f", u"DejaVu Serif"}) {
      SGUICache::FontCondencedBoldName(name);
    }
  }
  done = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(SGUICache, LabelAndFieldCarryTheirSettings) {
  const platform::LabelRef label = SGUICache::Label({1, 2, 30, 40});
  EXPECT_EQ(label->frame(), (platform::Rect{1, 2, 30, 40}));
  EXPECT_TRUE(label->text_alignment() == 0 && label->background_color() == nullptr &&
              !label->opaque() && label->adjusts_font_size_to_fit_width());
  const platform::TextFieldRef field = SGUICache::Field({5, 6, 70, 80});
  EXPECT_EQ(field->frame(), (platform::Rect{5, 6, 70, 80}));
  EXPECT_EQ(field->font()->point_size(), 17.0);
  EXPECT_EQ(field->font()->family(), Font::System(17)->family());
  const auto blue = field->text_color()->Resolved(platform::Appearance::kLight)->RGBA();
  EXPECT_EQ(std::lround(blue->red * 255) << 16 | std::lround(blue->green * 255) << 8 |
                std::lround(blue->blue * 255),
            0x1A61CC);  // appRoyalBlue
  EXPECT_EQ((std::vector<int>{field->border_style(), field->text_alignment(),
                              field->return_key_type(), field->autocorrection_type(),
                              field->keyboard_appearance(), field->content_vertical_alignment(),
                              static_cast<int>(field->autoresizing_mask())}),
            (std::vector<int>{0, 2, 9, 1, 0, 0, 3}));
}

}  // namespace
}  // namespace kelvane
