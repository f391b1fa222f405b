// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/gradient.h
//
// An immutable colour gradient: two or more colour stops (device RGB components with alpha,
// not premultiplied) at locations 0..1 along a line, drawn by GraphicsContext::
// DrawLinearGradient. Shared as GradientRef.
//
// Threads: immutable; any number of threads may use one gradient at once.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "kelvane/export.h"

namespace kelvane::platform {

class Gradient;
// Gradients are immutable and shared: the same ref is the same gradient.
using GradientRef = std::shared_ptr<const Gradient>;

// Colour stops along a line from 0 to 1, drawn by GraphicsContext::DrawLinearGradient.
class KELVANE_EXPORT Gradient {
 public:
  // One colour at one place of the gradient.
  struct Stop {
    double location;  // 0..1 along the gradient
    // The stop's colour, each component in 0..1.
    double red, green, blue, alpha;
  };

  // A gradient of `count` stops: `components` holds red, green, blue, alpha for each (4 x count
  // values, each clamped to 0..1); `locations` holds count increasing values in 0..1, or is
  // empty for stops spread evenly from 0 to 1. Null when count is 0, a span has the wrong
  // length, a value is not a finite number, the locations decrease, or memory runs out.
  [[nodiscard]] static GradientRef WithColorComponents(std::span<const double> components,
                                                       std::span<const double> locations,
                                                       std::size_t count) noexcept;

  // The stops, in increasing location.
  [[nodiscard]] const std::vector<Stop>& stops() const noexcept { return stops_; }

  // Use WithColorComponents(), which checks the stops; public only for std::make_shared.
  explicit Gradient(std::vector<Stop> stops) noexcept : stops_(std::move(stops)) {}
  Gradient(const Gradient&) = delete;
  Gradient& operator=(const Gradient&) = delete;

 private:
  std::vector<Stop> stops_;
};

// Options of DrawLinearGradient: paint the start colour before the start point and the end
// colour after the end point; without them nothing is painted beyond the ends.
inline constexpr unsigned kGradientDrawsBeforeStartLocation = 1;
inline constexpr unsigned kGradientDrawsAfterEndLocation = 2;

}  // namespace kelvane::platform
