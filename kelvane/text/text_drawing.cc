#include "kelvane/text/text_drawing.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/fonts/text_layout.h"
#include "kelvane/platform/i18n/unicode.h"

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

// The length in `text` from `at` of a match for `word` under case folding: the word's own
// length unless folding changed it ("ß" matching "ss").
std::size_t MatchLength(std::u16string_view text, std::size_t at, std::u16string_view word) {
  if (text.size() - at >= word.size() &&
      platform::CaseInsensitiveCompare(text.substr(at, word.size()), word) == 0) {
    return word.size();
  }
  for (std::size_t end = at + 1; end <= text.size(); ++end) {
    if (platform::CaseInsensitiveCompare(text.substr(at, end - at), word) == 0) return end - at;
  }
  return word.size();
}

}  // namespace

namespace internal {
double CeilSingle(double value) noexcept {
  return static_cast<double>(std::ceil(static_cast<float>(value)));
}
}  // namespace internal

unsigned int CalcDistanceOf(std::u16string_view self, std::u16string_view word,
                            MatchRange* location) noexcept {
  const MatchRange not_found{kNotFoundLocation, 0};
  if (location != nullptr) *location = not_found;
  if (word.empty() || self.empty()) return kNoDistance;
  std::size_t start = 0;
  std::int64_t last_space = -1;
  unsigned int best = kNoDistance;
  while (true) {
    const std::int32_t found = platform::CaseInsensitiveFind(self.substr(start), word);
    if (found < 0) return best;
    const std::size_t at = start + static_cast<std::size_t>(found);
    const MatchRange r{at, MatchLength(self, at, word)};
    if (at == 0 || self[at - 1] == u' ') {
      if (location != nullptr) *location = r;
      return 0;
    }
    // The nearest space before the occurrence, looking no further back than the last one found.
    for (std::int64_t k = static_cast<std::int64_t>(at) - 2; k > last_space; --k) {
      if (self[static_cast<std::size_t>(k)] == u' ') {
        last_space = k;
        break;
      }
    }
    const auto d = static_cast<unsigned int>(static_cast<std::int64_t>(at) - last_space - 1);
    if (d < best) {
      best = d;
      if (location != nullptr) *location = r;
    }
    start = at + r.length;
    if (start >= self.size()) return best;
  }
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

platform::Size DrawInRect(std::u16string_view self, platform::Rect rect,
                          const platform::FontRef& withFont, const platform::ColorRef& Color,
                          int lineBreakMode, int alignment) noexcept {
  SharedAttributes& shared = Shared();
  std::lock_guard lock(shared.mutex);
  DeprecatedStaticInit();
  if (withFont == nullptr || Color == nullptr) return {};
  shared.s_depr_prgh.alignment = alignment;
  shared.s_depr_prgh.line_break_mode = lineBreakMode;
  shared.s_depr_attr.font = withFont;
  shared.s_depr_attr.paragraph_style = shared.s_depr_prgh;
  shared.s_depr_attr.foreground_color = Color;
  try {
    platform::DrawText(AttributedString(self, shared.s_depr_attr), rect);
  } catch (...) {  // std::bad_alloc: nothing drawn
  }
  return {};
}

platform::Size SizeWithFont(std::u16string_view self, const platform::FontRef& font) noexcept {
  SharedAttributes& shared = Shared();
  std::lock_guard lock(shared.mutex);
  DeprecatedStaticInit();
  if (font == nullptr) return {};
  shared.s_depr_attr.font = font;
  shared.s_depr_attr.paragraph_style = shared.s_depr_prgh;
  try {
    return RoundedUp(platform::MeasureText(AttributedString(self, shared.s_depr_attr)));
  } catch (...) {
    return {};
  }
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
  if (font == nullptr) {
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
