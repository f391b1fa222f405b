// SPDX-License-Identifier: Apache-2.0
#include "kelvane/interface/gui_cache.h"

#include <cmath>
#include <mutex>
#include <new>
#include <numbers>
#include <system_error>

#include "kelvane/colours/palette.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/graphics/path.h"
#include "kelvane/platform/graphics/rounded_rect.h"
#include "kelvane/platform/ui/layer.h"

namespace kelvane {

constinit FontTableEntry s_font_sys_bold[kFontTableSize];
constinit FontTableEntry s_font_sys_norm[kFontTableSize];
constinit FontTableEntry s_font_hal_bold[kFontTableSize];
constinit FontTableEntry s_font_hal_norm[kFontTableSize];
constinit FontTableEntry s_font_con_bold[kFontTableSize];

namespace {

using platform::Font;
using platform::FontRef;
using platform::Path;
using platform::Rect;

constexpr std::uint32_t kSmallestSize = 4;

// Fonts are asked for in doubles equal to the whole point size.
double PointsAt(std::uint32_t index) { return static_cast<double>(kSmallestSize + index); }

std::once_flag g_tables_filled;
// Serialises refills of s_font_con_bold; readers never take it.
std::mutex g_condensed_refill;

void FillTables() noexcept {
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    s_font_sys_bold[i].store(Font::BoldSystem(PointsAt(i)));
  }
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    s_font_sys_norm[i].store(Font::System(PointsAt(i)));
  }
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    s_font_hal_bold[i].store(Font::Named(u"HelveticaNeue-Medium", PointsAt(i)));
  }
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    s_font_hal_norm[i].store(Font::Named(u"HelveticaNeue", PointsAt(i)));
  }
  // Where the named family is missing, the entry shares the system font object.
  for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
    if (s_font_hal_bold[i].load() == nullptr) s_font_hal_bold[i].store(s_font_sys_bold[i].load());
    if (s_font_hal_norm[i].load() == nullptr) s_font_hal_norm[i].store(s_font_sys_norm[i].load());
  }
}

// The table index of `size` points, or kFontTableSize outside 4..40. The subtraction wraps
// for sizes below 4, so one comparison covers both ends.
std::uint32_t IndexOf(std::uint32_t size) noexcept {
  const std::uint32_t index = size - kSmallestSize;
  return index > kFontTableSize - 1 ? kFontTableSize : index;
}

FontRef Lookup(const FontTableEntry* table, std::uint32_t size) noexcept {
  SGUICache::initialize();
  const std::uint32_t index = IndexOf(size);
  return index < kFontTableSize ? table[index].load() : nullptr;
}

constexpr double kPi = std::numbers::pi;

// The platform refuses arcs of a negative or unknown radius; a corner without one is square.
double CornerRadius(double radius) { return std::isfinite(radius) && radius > 0 ? radius : 0; }

}  // namespace

void SGUICache::initialize() noexcept {
  try {
    std::call_once(g_tables_filled, FillTables);
  } catch (const std::system_error&) {
    // The threads library failed to run the once-only call; the lookups answer null.
  }
}

FontRef SGUICache::FontSystemNorm(std::uint32_t size) noexcept {
  return Lookup(s_font_hal_norm, size);
}

FontRef SGUICache::FontSystemBold(std::uint32_t size) noexcept {
  return Lookup(s_font_hal_bold, size);
}

FontRef SGUICache::FontCondencedBold(std::uint32_t size) noexcept {
  initialize();
  const std::uint32_t index = IndexOf(size);
  if (index == kFontTableSize) return nullptr;
  FontRef font = s_font_con_bold[index].load();
  return font != nullptr ? font : s_font_sys_bold[index].load();
}

void SGUICache::FontCondencedBoldName(OptionalString name) noexcept {
  initialize();
  if (!name || name->empty()) return;
  try {
    std::lock_guard lock(g_condensed_refill);
    for (std::uint32_t i = 0; i < kFontTableSize; ++i) {
      s_font_con_bold[i].store(Font::Named(*name, PointsAt(i)));
    }
  } catch (const std::system_error&) {
    // The lock could not be taken: the table is left as it was.
  }
}

void SGUICache::DrawRoundRect(Rect rect, platform::GraphicsContext* context,
                              double roundRadius) noexcept {
  initialize();
  if (context == nullptr) return;
  platform::SetRoundedRectPath(*context, rect, roundRadius);
}

void SGUICache::RoundView(platform::View& view, std::uint64_t corner, double roundRadius) noexcept {
  const platform::LayerRef& layer = view.layer();
  if (corner == 0) {
    layer->set_mask(nullptr);
    return;
  }
  try {
    const double r = CornerRadius(roundRadius);
    const Rect b = view.bounds();
    const double min_x = b.MinX(), min_y = b.MinY(), max_x = b.MaxX(), max_y = b.MaxY();
    Path path;
    if (corner & 1) {
      path.AddArc(min_x + r, min_y + r, r, -kPi, -kPi / 2, false);
      path.AddArc(max_x - r, min_y + r, r, -kPi / 2, 0, false);
    } else {
      path.MoveTo(min_x, min_y);
      path.AddLineTo(max_x, min_y);
    }
    if (corner & 4) {
      path.AddArc(max_x - r, max_y - r, r, 0, kPi / 2, false);
      path.AddArc(min_x + r, max_y - r, r, kPi / 2, kPi, false);
    } else {
      path.AddLineTo(max_x, max_y);
      path.AddLineTo(min_x, max_y);
    }
    path.CloseSubpath();
    platform::ShapeLayerRef mask = platform::ShapeLayer::Make();
    if (mask == nullptr) return;
    mask->set_path(std::move(path));
    layer->set_mask(std::move(mask));
  } catch (const std::bad_alloc&) {
    // The view keeps the mask it had.
  }
}

platform::LabelRef SGUICache::Label(Rect frame) noexcept {
  initialize();
  platform::LabelRef label = platform::Label::Make(frame);
  if (label == nullptr) return nullptr;
  label->set_text_alignment(platform::kTextAlignmentLeft);
  label->set_background_color(nullptr);
  label->set_opaque(false);
  label->set_adjusts_font_size_to_fit_width(true);
  return label;
}

platform::TextFieldRef SGUICache::Field(Rect frame) noexcept {
  initialize();
  platform::TextFieldRef field = platform::TextField::Make(frame);
  if (field == nullptr) return nullptr;
  field->set_border_style(platform::kTextBorderNone);
  field->set_font(Font::Preferred(Font::TextStyle::kBody));
  field->set_text_color(UIElements::appRoyalBlue());
  field->set_text_alignment(platform::kTextAlignmentRight);
  field->set_return_key_type(platform::kReturnKeyDone);
  field->set_autocorrection_type(platform::kAutocorrectionNo);
  field->set_keyboard_appearance(platform::kKeyboardAppearanceDefault);
  field->set_content_vertical_alignment(platform::kContentVerticalAlignmentCenter);
  field->set_autoresizing_mask(platform::kAutoresizingFlexibleLeftMargin |
                               platform::kAutoresizingFlexibleWidth);
  return field;
}

platform::ImageRef SGUICache::ImageReSize(const platform::ImageRef& image,
                                          platform::Size reSize) noexcept {
  initialize();
  if (image == nullptr) return nullptr;
  const platform::ImageRenderer renderer(reSize);
  return renderer.Image([&](platform::GraphicsContext& context) {
    context.DrawImageInRect(*image, {0, 0, reSize.width, reSize.height});
  });
}

platform::ImageRef SGUICache::ImageWithColor(const platform::ColorRef& color) noexcept {
  initialize();
  if (color == nullptr) return nullptr;
  platform::ImageRef image;
  if (platform::BeginImageContext({1, 1})) {
    platform::GraphicsContext* context = platform::GetCurrentContext();
    context->SetFillColor(color);
    context->FillRect({0, 0, 1, 1});
    image = platform::GetImageFromCurrentImageContext();
  }
  platform::EndImageContext();
  return image;
}

}  // namespace kelvane
