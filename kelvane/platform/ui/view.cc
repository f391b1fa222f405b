// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/ui/view.h"

#include <cmath>

namespace kelvane::platform {

ViewRef View::Make(Rect frame) noexcept { return MakeAs<View>(frame); }

View::View(Token, Rect frame, LayerRef layer) noexcept : layer_(std::move(layer)) {
  set_frame(frame);
}

View::~View() = default;

Rect View::frame() const noexcept {
  const Rect b = layer_->bounds();
  const Point p = layer_->position();
  return {p.x - b.width / 2, p.y - b.height / 2, b.width, b.height};
}

void View::set_frame(Rect frame) noexcept {
  if (!std::isfinite(frame.x) || !std::isfinite(frame.y) || !std::isfinite(frame.width) ||
      !std::isfinite(frame.height)) {
    return;
  }
  frame = frame.Standardized();
  const Rect b = layer_->bounds();
  layer_->set_bounds({b.x, b.y, frame.width, frame.height});
  layer_->set_position({frame.x + frame.width / 2, frame.y + frame.height / 2});
}

}  // namespace kelvane::platform
