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
// Threads: any thread; each thread measures with engine objects of its own. Drawing uses the
// current context of the calling thread (see image_surfaces.h).
#pragma once

#include "kelvane/export.h"
#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::platform {

class GraphicsContext;

// Options of BoundingRect, in the platform's numbering.
enum TextDrawingOptions : unsigned {
  // The rectangle's origin is the top left of the first line and the text wraps within the
  // limit's width; without it the text is one line and the origin is on its baseline.
  kTextUsesLineFragmentOrigin = 1,
  // Line heights include the faces' leading (the engine's line height always does).
  kTextUsesFontLeading = 2,
};

// The size of the text on one line (hard line breaks still start new lines). Zero for empty
// text.
[[nodiscard]] KELVANE_EXPORT Size MeasureText(const AttributedString& text) noexcept;

// The rectangle the text takes laid out within `limit` (see the options). A limit side that is
// not above 0 or not finite does not limit. Lines that pass the limit's height are left out,
// except the first. Zero for empty text.
[[nodiscard]] KELVANE_EXPORT Rect BoundingRect(const AttributedString& text, Size limit,
                                               unsigned options) noexcept;

// Draws the text into `rect` of the current context: wrapped to the rectangle's width, lines
// that would pass its bottom left out (the first line is always drawn), ink kept inside the
// rectangle. Attachments draw their image on the baseline, raised by the run's baseline
// offset. Nothing happens without a current context or with a rectangle that is empty or not
// finite. Text is drawn for a y-down user space (an image surface); a bitmap context, y up,
// needs the caller to flip it first, as for images.
KELVANE_EXPORT void DrawText(const AttributedString& text, Rect rect) noexcept;

// The same into a given context.
KELVANE_EXPORT void DrawText(GraphicsContext& context, const AttributedString& text,
                             Rect rect) noexcept;

}  // namespace kelvane::platform
