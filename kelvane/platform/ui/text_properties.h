// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/ui/text_properties.h
//
// What the views that show text keep about it (labels and text fields): the text, its font,
// colour and alignment.
//
// Threads: as for the view that holds them (view.h): one thread at a time.
#pragma once

#include <utility>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/graphics/color.h"

namespace kelvane::platform {

// The text of a view that shows text, with its font, colour and alignment.
class KELVANE_EXPORT TextProperties {
 public:
  // The text; empty until set.
  [[nodiscard]] const String& text() const noexcept { return text_; }
  void set_text(String text) noexcept { text_ = std::move(text); }
  // Null: the system font at 17 points.
  [[nodiscard]] const FontRef& font() const noexcept { return font_; }
  void set_font(FontRef font) noexcept { font_ = std::move(font); }
  // Null: the default text colour (black, white in the dark appearance).
  [[nodiscard]] const ColorRef& text_color() const noexcept { return text_color_; }
  void set_text_color(ColorRef color) noexcept { text_color_ = std::move(color); }
  // Natural until set.
  [[nodiscard]] TextAlignment text_alignment() const noexcept { return text_alignment_; }
  void set_text_alignment(TextAlignment alignment) noexcept { text_alignment_ = alignment; }

 private:
  String text_;
  FontRef font_;
  ColorRef text_color_;
  TextAlignment text_alignment_ = kTextAlignmentNatural;
};

}  // namespace kelvane::platform
