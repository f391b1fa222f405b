// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/ui/layer.h"

#include <cmath>
#include <new>

namespace kelvane::platform {

LayerRef Layer::Make() noexcept {
  try {
    return std::make_shared<Layer>(Token());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Layer::~Layer() = default;

void Layer::set_bounds(Rect bounds) noexcept {
  if (!std::isfinite(bounds.x) || !std::isfinite(bounds.y) || !std::isfinite(bounds.width) ||
      !std::isfinite(bounds.height)) {
    return;
  }
  bounds_ = bounds.Standardized();
}

void Layer::set_position(Point position) noexcept {
  if (std::isfinite(position.x) && std::isfinite(position.y)) position_ = position;
}

bool Layer::set_mask(LayerRef mask) noexcept {
  for (const Layer* layer = mask.get(); layer != nullptr; layer = layer->mask_.get()) {
    if (layer == this) return false;
  }
  mask_ = std::move(mask);
  return true;
}

ShapeLayerRef ShapeLayer::Make() noexcept {
  try {
    return std::make_shared<ShapeLayer>(Token());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kelvane::platform
