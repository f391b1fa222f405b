// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/fonts/text_layout.h
//
// Measuring and drawing attributed text, on Pango. Sizes are in points: one point is one unit
// of a drawing context's user space. Glyph positions are not snapped to pixels, so a text
// measures the same on every surface and at every scale.
//
// Characters that the font of their run lacks are drawn from another installed face that has
// them (fontconfig's fallback: Greek, Cyrillic, Arabic, Hebrew, CJK and emoji where such a face
// is installed), not as boxes. Bidirectional text is laid out in display order, and a
// paragraph whose first strong character is right-to-left runs right to left (with natural or
// justified alignment it also aligns right).
//
// The paragraph style of the first character applies to the whole text. Text with unpaired
// surrogates measures and draws them as U+FFFD.
//
// Limits: the engine's work grows faster than the text (with the number of paragraphs times the
// text's length, and with the square of a run of combining marks), so a layout takes at most
// kMaxLayoutUnits units in kMaxLayoutParagraphs paragraphs, checked before the engine sees the
// text. Text past them is refused: it measures zero and draws nothing, and CheckLayoutLimits
// gives the reason. Combining marks past kMaxCombiningMarks in a row are dropped instead, as no
// face stacks that many visibly. The engine counts in 1/1024 point in 32 bits; sizes are summed
// here in wider numbers, so a text wider or taller than 2,097,151 points still measures right.
//
// Memory: where allocations can fail (an address-space or data limit, strict overcommit), text
// is laid out only while the font engine has room to work (see internal/font_access.h): below
// that, and when the engine cannot make its objects or find a font, text measures zero and draws
// nothing, as text past the limits does; the next call tries again. The engine's room there
// includes the stacks of the two threads on which it matches a font it has not met (twice the
// default thread stack, 16 MiB with the usual 8 MiB), and a call that met such a font returns
// only once those threads are done and gone (at most a little over two seconds later), so that
// what the caller allocates next cannot starve them.
//
// Threads: any thread; each thread measures with engine objects of its own. Drawing uses the
// current context of the calling thread (see image_surfaces.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::platform {

class GraphicsContext;

// The most UTF-16 units one layout takes. 32,768 units (some 5,000 words) lay out in under half
// a second of a small machine's time at worst, wrapped a character to a line, and in a few
// hundredths on one line; labels, messages and articles are far inside it.
inline constexpr std::size_t kMaxLayoutUnits = 32768;

// The most paragraphs one layout takes: hard line breaks ("\n", "\r", "\r\n", U+2029) plus one.
// The engine's work grows with the paragraphs times the length of the text; 2,048 of them in a
// text at the unit limit lay out in a fifth of a second.
inline constexpr std::size_t kMaxLayoutParagraphs = 2048;

// The most combining marks (general categories Mn, Mc, Me) laid out in a row after one
// character; the marks after them are dropped before layout, and the text is otherwise laid out
// as given. Real text stacks a handful; the engine positions each mark against those before it.
inline constexpr std::size_t kMaxCombiningMarks = 32;

// The paragraphs of `text` as a layout counts them against kMaxLayoutParagraphs: one more than
// its hard line breaks. Time is linear in the text's length.
[[nodiscard]] inline std::size_t CountLayoutParagraphs(std::u16string_view text) noexcept {
  std::size_t paragraphs = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool crlf = c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
    if (c == u'\n' || c == u'\u2029' || (c == u'\r' && !crlf)) ++paragraphs;
  }
  return paragraphs;
}

// Why `text` would be refused by MeasureText, BoundingRect and DrawText: nullopt when it is
// within kMaxLayoutUnits and kMaxLayoutParagraphs, else an ErrorKind::kTooLarge error whose
// message begins "text too long to lay out" and gives the count and the limit (an empty message
// when memory ran out). Time is linear in the text's length.
[[nodiscard]] inline std::optional<Error> CheckLayoutLimits(std::u16string_view text) noexcept {
  const std::size_t paragraphs = text.size() > kMaxLayoutUnits ? 0 : CountLayoutParagraphs(text);
  if (text.size() <= kMaxLayoutUnits && paragraphs <= kMaxLayoutParagraphs) return std::nullopt;
  try {
    const std::string what = text.size() > kMaxLayoutUnits
                                 ? std::to_string(text.size()) + " units, over the limit of " +
                                       std::to_string(std::size_t{kMaxLayoutUnits})
                                 : std::to_string(paragraphs) + " paragraphs, over the limit of " +
                                       std::to_string(std::size_t{kMaxLayoutParagraphs});
    return Error{ErrorKind::kTooLarge, "text too long to lay out: " + what};
  } catch (...) {
    return Error{ErrorKind::kTooLarge, std::string()};
  }
}

// Options of BoundingRect, in the platform's numbering.
enum TextDrawingOptions : unsigned {
  // The rectangle's origin is the top left of the first line and the text wraps within the
  // limit's width; without it the text is one line and the origin is on its baseline.
  kTextUsesLineFragmentOrigin = 1,
  // Line heights include the faces' leading (the engine's line height always does).
  kTextUsesFontLeading = 2,
};

// The size of the text on one line (hard line breaks still start new lines). Zero for empty
// text and for text past the limits (see CheckLayoutLimits).
[[nodiscard]] KELVANE_EXPORT Size MeasureText(const AttributedString& text) noexcept;

// The rectangle the text takes laid out within `limit` (see the options). A limit side that is
// not above 0 or not finite does not limit. Lines that pass the limit's height are left out,
// except the first. Zero for empty text and for text past the limits (see CheckLayoutLimits).
[[nodiscard]] KELVANE_EXPORT Rect BoundingRect(const AttributedString& text, Size limit,
                                               unsigned options) noexcept;

// Draws the text into `rect` of the current context: wrapped to the rectangle's width, lines
// that would pass its bottom left out (the first line is always drawn), ink kept inside the
// rectangle. Attachments draw their image on the baseline, raised by the run's baseline
// offset. Nothing happens without a current context, with a rectangle that is empty or not
// finite, or for text past the limits (see CheckLayoutLimits). Text is drawn for a y-down user
// space (an image surface); a bitmap context, y up, needs the caller to flip it first, as for
// images.
KELVANE_EXPORT void DrawText(const AttributedString& text, Rect rect) noexcept;

// The same into a given context.
KELVANE_EXPORT void DrawText(GraphicsContext& context, const AttributedString& text,
                             Rect rect) noexcept;

}  // namespace kelvane::platform
