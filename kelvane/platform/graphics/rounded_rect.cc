// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/rounded_rect.h"

#include <cmath>
#include <numbers>

namespace kelvane::platform {

void SetRoundedRectPath(GraphicsContext& context, Rect rect, double radius) noexcept {
  constexpr double kPi = std::numbers::pi;
  // The context refuses arcs of a negative or unknown radius; a corner without one is square.
  const double r = std::isfinite(radius) && radius > 0 ? radius : 0;
  const double min_x = rect.MinX(), min_y = rect.MinY(), max_x = rect.MaxX(), max_y = rect.MaxY();
  context.BeginPath();
  // Angles grow from +x towards +y, which runs down an image surface: each arc turns clockwise
  // on screen, and each one joins its start to the end of the one before with a straight edge.
  context.AddArc(min_x + r, min_y + r, r, kPi, -kPi / 2, false);
  context.AddArc(max_x - r, min_y + r, r, -kPi / 2, 0, false);
  context.AddArc(max_x - r, max_y - r, r, 0, kPi / 2, false);
  context.AddArc(min_x + r, max_y - r, r, kPi / 2, kPi, false);
  context.ClosePath();
}

}  // namespace kelvane::platform
