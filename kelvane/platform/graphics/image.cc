// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/image.h"

#include <cmath>
#include <new>
#include <optional>

#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"

namespace kelvane::platform {

ImageRef Image::Make(RasterRef raster, double scale, ImageOrientation orientation) noexcept {
  // An enum can be handed any number of its underlying type.
  if (!ImageOrientationFromInt(ToInt(orientation))) return nullptr;
  if (!(scale > 0.0) || !std::isfinite(scale)) scale = 1.0;
  try {
    return std::make_shared<const Image>(Token(), std::move(raster), scale, orientation,
                                         kRenderingAutomatic);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Deprecated form, kept for programs built against it.
ImageRef Image::Make(RasterRef raster, double scale, int orientation) noexcept {
  const std::optional<ImageOrientation> checked = ImageOrientationFromInt(orientation);
  if (!checked) return nullptr;
  return Make(std::move(raster), scale, *checked);
}

ImageRef Image::WithRenderingMode(int mode) const noexcept {
  if (mode < 0 || mode > 2) return nullptr;
  try {
    return std::make_shared<const Image>(Token(), raster_, scale_, orientation(), mode);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Size Image::size() const noexcept {
  if (raster_ == nullptr) return {};
  const double w = raster_->width() / scale_;
  const double h = raster_->height() / scale_;
  return IsTransposed(orientation()) ? Size{h, w} : Size{w, h};
}

void Image::Draw(Rect rect) const noexcept {
  if (GraphicsContext* context = GetCurrentContext()) context->DrawImageInRect(*this, rect);
}

}  // namespace kelvane::platform
