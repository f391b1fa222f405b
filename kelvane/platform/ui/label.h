// SPDX-License-Identifier: Apache-2.0
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
#include "kelvane/platform/ui/text_properties.h"
#include "kelvane/platform/ui/view.h"

namespace kelvane::platform {

class Label;
// Labels are shared: the same ref is the same label.
using LabelRef = std::shared_ptr<Label>;

// A view that shows text it is given.
class KELVANE_EXPORT Label : public View, public TextProperties {
 public:
  // An empty label with `frame` (see View::set_frame); null only when memory runs out.
  [[nodiscard]] static LabelRef Make(Rect frame) noexcept { return MakeAs<Label>(frame); }

  // For Make() only (the token is the views' own). REQUIRES: `layer` is not null.
  Label(Token token, Rect frame, LayerRef layer) noexcept : View(token, frame, std::move(layer)) {}

  // True shrinks the font, when the text is too wide, until it fits; labels start without.
  [[nodiscard]] bool adjusts_font_size_to_fit_width() const noexcept { return adjusts_; }
  void set_adjusts_font_size_to_fit_width(bool adjusts) noexcept { adjusts_ = adjusts; }

 private:
  bool adjusts_ = false;
};

}  // namespace kelvane::platform
