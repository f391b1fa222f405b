// SPDX-License-Identifier: Apache-2.0
// kelvane/text/internal/checked_drawing.h
//
// The measuring and drawing of kelvane/text/text_drawing.h, telling a failure from a text that
// measures or draws nothing: for the library's own pictures (avatars), which must not be handed
// out without their text. Not installed.
#pragma once

#include <optional>
#include <string_view>

#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/color.h"

namespace kelvane::NSTools::internal {

// SizeWithFont(self, font); nullopt where that gives zero for a failure: a null font, text past
// the layout's limits, or the engine without the memory to lay the text out.
[[nodiscard]] std::optional<platform::Size> CheckedSizeWithFont(
    std::u16string_view self, const platform::FontRef& font) noexcept;

// DrawInRect(self, rect, font, color, lineBreakMode, alignment); false when the text was not
// drawn whole: no current context, a null font or colour, or a failure as above or in the
// drawing. True for an empty text or rectangle, which draw nothing.
[[nodiscard]] bool CheckedDrawInRect(std::u16string_view self, platform::Rect rect,
                                     const platform::FontRef& font, const platform::ColorRef& color,
                                     int lineBreakMode = 0, int alignment = 0) noexcept;

}  // namespace kelvane::NSTools::internal
