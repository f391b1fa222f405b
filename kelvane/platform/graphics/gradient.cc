// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/gradient.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace kelvane::platform {

GradientRef Gradient::WithColorComponents(std::span<const double> components,
                                          std::span<const double> locations,
                                          std::size_t count) noexcept {
  if (count == 0 || components.size() != 4 * count ||
      (!locations.empty() && locations.size() != count)) {
    return nullptr;
  }
  try {
    std::vector<Stop> stops;
    stops.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const double location = locations.empty()
                                  ? (count == 1 ? 0.0 : static_cast<double>(i) / (count - 1))
                                  : locations[i];
      if (!std::isfinite(location) || location < 0.0 || location > 1.0) return nullptr;
      if (!stops.empty() && location < stops.back().location) return nullptr;
      double c[4];
      for (int k = 0; k < 4; ++k) {
        c[k] = components[4 * i + k];
        if (!std::isfinite(c[k])) return nullptr;
        c[k] = std::clamp(c[k], 0.0, 1.0);
      }
      stops.push_back({location, c[0], c[1], c[2], c[3]});
    }
    return std::make_shared<const Gradient>(std::move(stops));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kelvane::platform
