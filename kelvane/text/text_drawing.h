// SPDX-License-Identifier: Apache-2.0
// kelvane/text/text_drawing.h
//
// Measuring and drawing a string with a font, shrinking a font until a string fits a width, and
// finding how far a word's best occurrence lies from the start of its word.
//
// The drawing and measuring functions share one process-wide set of text attributes and one
// paragraph style, prepared afresh by DeprecatedStaticInit at the start of every call, rather
// than making new ones per call. Sizes come back rounded up to whole points in single precision,
// as callers compare and lay out sizes in whole points.
//
// Text past the layout's limits (platform::CheckLayoutLimits in platform/fonts/text_layout.h:
// more than platform::kMaxLayoutUnits units or platform::kMaxLayoutParagraphs paragraphs)
// measures zero and draws nothing; combining marks past platform::kMaxCombiningMarks in a row
// are dropped. Sizes past 2,097,151 points, the engine's own range, measure right.
//
// Threads: any thread. The shared attribute set is guarded by one lock, held for the whole of
// each drawing or measuring call, so calls from several threads run one after another. Drawing
// goes to the calling thread's current context (see platform/graphics/image_surfaces.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/color.h"

namespace kelvane {
namespace NSTools {

// A range of UTF-16 units; kNotFoundLocation with length 0 when nothing was found. Made without
// values, the empty range at 0.
struct MatchRange {
  std::uint64_t location = 0;  // the first unit
  std::uint64_t length = 0;    // the number of units
  // Equal when location and length are equal.
  friend bool operator==(const MatchRange&, const MatchRange&) = default;
};
// The location of a range that found nothing.
inline constexpr std::uint64_t kNotFoundLocation = 0x7FFFFFFFFFFFFFFF;
// CalcDistanceOf's answer when there is no occurrence.
inline constexpr unsigned int kNoDistance = 0xFFFFFFFF;

// The distance, in units, of the best case-insensitive occurrence of `word` in `self` from the
// start of the word (after a space) that holds it: 0 for an occurrence at the start of the text
// or after a space. Of equally good occurrences the first wins. `location` (when not null)
// receives the best occurrence's range. kNoDistance and the not-found range when `word` or
// `self` is empty or `word` does not occur. Time is linear in the two lengths.
[[nodiscard]] KELVANE_EXPORT unsigned int CalcDistanceOf(std::u16string_view self,
                                                         std::u16string_view word,
                                                         MatchRange* location) noexcept;

// Prepares the shared attributes: made on first use, then emptied, with the paragraph style's
// alignment left and its line-break mode word wrapping.
KELVANE_EXPORT void DeprecatedStaticInit() noexcept;

// Draws `self` into `rect` of the current context with the font, colour, line-break mode and
// alignment (see platform/fonts/attributed_string.h for their numbers). With a null font or
// colour, or for text past the layout's limits, nothing is drawn. Always returns the zero size:
// the drawn size is not measured.
KELVANE_EXPORT platform::Size DrawInRect(std::u16string_view self, platform::Rect rect,
                                         const platform::FontRef& withFont,
                                         const platform::ColorRef& Color, int lineBreakMode = 0,
                                         int alignment = 0) noexcept;

// The size of `self` on one line, each side rounded up to a whole number in single precision.
// Zero for a null font and for text past the layout's limits.
[[nodiscard]] KELVANE_EXPORT platform::Size SizeWithFont(std::u16string_view self,
                                                         const platform::FontRef& font) noexcept;

// The size of `self` laid out within `constrainedToSize` with the line-break mode, rounded up
// as above. Zero for a null font and for text past the layout's limits.
[[nodiscard]] KELVANE_EXPORT platform::Size SizeWithFont(std::u16string_view self,
                                                         const platform::FontRef& font,
                                                         platform::Size constrainedToSize,
                                                         int lineBreakMode = 0) noexcept;

// Shrinks the font one point at a time until `self` fits `forWidth` on one line, down to
// `minFontSize`. *actualFontSize receives the point size used: the font's own size rounded to a
// whole number when it fits as given, else the first smaller whole size that fits (a font of
// the same name), else the smallest size tried, but never less than `minFontSize`. Returns the
// last size measured: the fitting one, or the one at the smallest size tried. The line-break
// mode takes no part. Zero, and nothing stored, when `actualFontSize` is null; zero and 0 for a
// null font and for text past the layout's limits (which fits no width). Sizes below one point are
// not tried (no font has them).
[[nodiscard]] KELVANE_EXPORT platform::Size SizeWithFont(std::u16string_view self,
                                                         const platform::FontRef& font,
                                                         double minFontSize, double* actualFontSize,
                                                         double forWidth,
                                                         int lineBreakMode) noexcept;

}  // namespace NSTools
}  // namespace kelvane
