// kelvane/platform/ui/label.h
//
// The label: a view that shows a line of read-only text, as a plain model with no window system
// behind it. It keeps what a screen sets on it: the text, its font, colour and alignment, and
// whether the font is shrunk to fit the width.
//
// Ownership and threads: as for every view (view.h): shared as LabelRef, one thread at a time.
#pragma once

#include <memory>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/ui/view.h"

namespace kelvane::platform {

class Label;
using LabelRef = std::shared_ptr<Label>;

class KELVANE_EXPORT Label : public View {
 public:
  // An empty label with `frame` (see View::set_frame); null only when memory runs out.
  [[nodiscard]] static LabelRef Make(Rect frame) noexcept { return MakeAs<Label>(frame); }

  Label(Token token, Rect frame, LayerRef layer) noexcept : View(token, frame, std::move(layer)) {}

  [[nodiscard]] const String& text() const noexcept { return text_; }
  void set_text(String text) noexcept { text_ = std::move(text); }
  // Null: the system font at 17 points.
  [[nodiscard]] const FontRef& font() const noexcept { return font_; }
  void set_font(FontRef font) noexcept { font_ = std::move(font); }
  // Null: the default text colour (black, white in the dark appearance).
  [[nodiscard]] const ColorRef& text_color() const noexcept { return text_color_; }
  void set_text_color(ColorRef color) noexcept { text_color_ = std::move(color); }
  // Labels start natural.
  [[nodiscard]] TextAlignment text_alignment() const noexcept { return text_alignment_; }
  void set_text_alignment(TextAlignment alignment) noexcept { text_alignment_ = alignment; }
  // True shrinks the font, when the text is too wide, until it fits; labels start without.
  [[nodiscard]] bool adjusts_font_size_to_fit_width() const noexcept { return adjusts_; }
  void set_adjusts_font_size_to_fit_width(bool adjusts) noexcept { adjusts_ = adjusts; }

 private:
  String text_;
  FontRef font_;
  ColorRef text_color_;
  TextAlignment text_alignment_ = kTextAlignmentNatural;
  bool adjusts_ = false;
};

}  // namespace kelvane::platform
