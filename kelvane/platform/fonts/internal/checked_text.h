// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/fonts/internal/checked_text.h
//
// The measuring and drawing of text_layout.h, telling a failure from a text that measures or
// draws nothing, for the library's own pictures, which are not handed out without their text.
// Not a public header.
#pragma once

#include <optional>

#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/fonts/text_layout.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::platform::internal {

// MeasureText; nullopt when the text is past the layout's limits, a run has no font (its own,
// or the default one cannot be made), or the engine lacks the memory to lay it out.
[[nodiscard]] std::optional<Size> MeasureTextChecked(const AttributedString& text) noexcept;

// DrawText; false when the text could not be laid out (as above) or drawing it failed, true
// for nothing to draw (an empty text or rectangle).
[[nodiscard]] bool DrawTextChecked(GraphicsContext& context, const AttributedString& text,
                                   Rect rect) noexcept;

}  // namespace kelvane::platform::internal
