// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/text_drawing.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/fonts/internal/checked_text.h"
#include "kelvane/platform/fonts/text_layout.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/i18n/unicode.h"
#include "kelvane/text/internal/ceil_single.h"
#include "kelvane/text/internal/checked_drawing.h"

namespace kelvane {
namespace NSTools {
namespace {

using platform::AttributedString;
using platform::FontRef;
using platform::Size;

// The one attribute set and paragraph style that every drawing and measuring call reuses.
// They were once process-wide state without a lock; the lock is held for a whole call, so two
// threads measuring at once see their own font in the set, never each other's.
struct SharedAttributes {
  std::recursive_mutex mutex;
  bool made = false;
  platform::TextAttributes s_depr_attr;
  platform::ParagraphStyle s_depr_prgh;
};

SharedAttributes& Shared() {
  static platform::internal::NoDestructor<SharedAttributes> shared;
  return *shared;
}

Size RoundedUp(Size size) {
  return {internal::CeilSingle(size.width), internal::CeilSingle(size.height)};
}

}  // namespace

namespace internal {
double CeilSingle(double value) noexcept {
  return static_cast<double>(std::ceil(static_cast<float>(value)));
}
}  // namespace internal

unsigned int CalcDistanceOf(std::u16string_view self, std::u16string_view word,
                            MatchRange* location) noexcept {
  if (location != nullptr) *location = MatchRange{kNotFoundLocation, 0};
  if (word.empty() || self.empty()) return kNoDistance;
  unsigned int best = kNoDistance;
  // The nearest space before an occurrence lies at or below its index - 2 (the unit just before
  // it is no space, or the occurrence is at a word start). Units are looked at once each, in
  // order: `scanned` is the first not looked at, `last_space` the highest space seen so far.
  std::size_t scanned = 0;
  std::int64_t last_space = -1;
  // Occurrences are found in one pass over the text folded once: they do not overlap, each
  // beginning at or after the end of the one before.
  (void)platform::CaseInsensitiveFindEach(self, word, [&](std::size_t at, std::size_t length) {
    const MatchRange r{at, length};
    if (at == 0 || self[at - 1] == u' ') {
      if (location != nullptr) *location = r;
      best = 0;
      return false;
    }
    for (; scanned + 2 <= at; ++scanned) {
      if (self[scanned] == u' ') last_space = static_cast<std::int64_t>(scanned);
    }
    const std::int64_t d = static_cast<std::int64_t>(at) - last_space - 1;
    // A distance beyond 32 bits (a word of 4 Gi units) never counts as the better one.
    if (d < static_cast<std::int64_t>(best)) {
      best = static_cast<unsigned int>(d);
      if (location != nullptr) *location = r;
    }
    return at + length < self.size();
  });
  return best;
}

void DeprecatedStaticInit() noexcept {
  SharedAttributes& shared = Shared();
  std::lock_guard lock(shared.mutex);
  if (!shared.made) {
    shared.s_depr_prgh = platform::ParagraphStyle{};  // the platform's default style
    shared.made = true;
  }
  shared.s_depr_attr = {};
  shared.s_depr_prgh.alignment = platform::kTextAlignmentLeft;
  shared.s_depr_prgh.line_break_mode = platform::kLineBreakByWordWrapping;
}

namespace internal {

bool CheckedDrawInRect(std::u16string_view self, platform::Rect rect, const platform::FontRef& font,
                       const platform::ColorRef& color, int lineBreakMode, int alignment) noexcept {
  SharedAttributes& shared = Shared();
  std::lock_guard lock(shared.mutex);
  DeprecatedStaticInit();
  platform::GraphicsContext* context = platform::GetCurrentContext();
  if (font == nullptr || color == nullptr || context == nullptr) return false;
  shared.s_depr_prgh.alignment = alignment;
  shared.s_depr_prgh.line_break_mode = lineBreakMode;
  shared.s_depr_attr.font = font;
  shared.s_depr_attr.paragraph_style = shared.s_depr_prgh;
  shared.s_depr_attr.foreground_color = color;
  try {
    return platform::internal::DrawTextChecked(*context, AttributedString(self, shared.s_depr_attr),
                                               rect);
  } catch (...) {  // std::bad_alloc: nothing drawn
    return false;
  }
}

std::optional<platform::Size> CheckedSizeWithFont(std::u16string_view self,
                                                  const platform::FontRef& font) noexcept {
  SharedAttributes& shared = Shared();
  std::lock_guard lock(shared.mutex);
  DeprecatedStaticInit();
  if (font == nullptr) return std::nullopt;
  shared.s_depr_attr.font = font;
  shared.s_depr_attr.paragraph_style = shared.s_depr_prgh;
  try {
    const std::optional<Size> size =
        platform::internal::MeasureTextChecked(AttributedString(self, shared.s_depr_attr));
    if (!size) return std::nullopt;
    return RoundedUp(*size);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace internal

platform::Size DrawInRect(std::u16string_view self, platform::Rect rect,
                          const platform::FontRef& withFont, const platform::ColorRef& Color,
                          int lineBreakMode, int alignment) noexcept {
  (void)internal::CheckedDrawInRect(self, rect, withFont, Color, lineBreakMode, alignment);
  return {};
}

platform::Size SizeWithFont(std::u16string_view self, const platform::FontRef& font) noexcept {
  return internal::CheckedSizeWithFont(self, font).value_or(Size{});
}

platform::Size SizeWithFont(std::u16string_view self, const platform::FontRef& font,
                            platform::Size constrainedToSize, int lineBreakMode) noexcept {
  SharedAttributes& shared = Shared();
  std::lock_guard lock(shared.mutex);
  DeprecatedStaticInit();
  if (font == nullptr) return {};
  shared.s_depr_prgh.line_break_mode = lineBreakMode;
  shared.s_depr_attr.font = font;
  shared.s_depr_attr.paragraph_style = shared.s_depr_prgh;
  try {
    const platform::Rect r = platform::BoundingRect(
        AttributedString(self, shared.s_depr_attr), constrainedToSize,
        platform::kTextUsesLineFragmentOrigin | platform::kTextUsesFontLeading);
    return RoundedUp(r.size());
  } catch (...) {
    return {};
  }
}

platform::Size SizeWithFont(std::u16string_view self, const platform::FontRef& font,
                            double minFontSize, double* actualFontSize, double forWidth,
                            int lineBreakMode) noexcept {
  if (actualFontSize == nullptr) return {};
  // Text the layout refuses measures zero at every size, which would read as fitting.
  if (font == nullptr || platform::CheckLayoutLimits(self)) {
    *actualFontSize = 0;
    return {};
  }
  double& actual = *actualFontSize;
  actual = static_cast<double>(std::round(static_cast<float>(font->point_size())));
  Size size = SizeWithFont(self, font);
  if (size.width <= forWidth) return size;
  String name;
  try {
    name = font->name();
  } catch (...) {
    return size;
  }
  actual -= 1;
  // Widths grow in proportion to the point size (metrics are not hinted), so the sizes at which
  // the text would pass the width by more than a twentieth are not measured: a long text shrunk
  // from a large size costs a few layouts, not one per point. The smallest size tried stays the
  // one the loop below would reach.
  if (size.width > 0) {
    const double estimate = std::floor(font->point_size() * (forWidth * 1.05 + 1) / size.width);
    const double skip_to = std::max(estimate, std::ceil(std::max(minFontSize, 1.0)));
    if (skip_to < actual) actual = skip_to;
  }
  // Sizes below one point make no font; stopping there also keeps a very low (or negative)
  // minimum from running the loop on and on.
  bool tried = false;
  while (actual >= minFontSize && actual >= 1) {
    tried = true;
    size = SizeWithFont(self, platform::Font::Named(name, std::trunc(actual)));
    if (size.width <= forWidth) break;
    actual -= 1;
  }
  actual = std::max(actual, minFontSize);
  // Stopped by the one-point floor rather than the minimum: the size stored is the one measured,
  // never a size no font can have.
  if (tried && actual < 1) actual = 1;
  return size;
}

}  // namespace NSTools
}  // namespace kelvane
