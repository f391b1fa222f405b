#include "kelvane/platform/graphics/image.h"

#include <cmath>
#include <new>

#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"

namespace kelvane::platform {

ImageRef Image::Make(RasterRef raster, double scale, int orientation) noexcept {
  if (orientation < 0 || orientation > 7) return nullptr;
  if (!(scale > 0.0) || !std::isfinite(scale)) scale = 1.0;
  try {
    return std::make_shared<const Image>(Token(), std::move(raster), scale, orientation,
                                         kRenderingAutomatic);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

ImageRef Image::WithRenderingMode(int mode) const noexcept {
  if (mode < 0 || mode > 2) return nullptr;
  try {
    return std::make_shared<const Image>(Token(), raster_, scale_, orientation_, mode);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Size Image::size() const noexcept {
  if (raster_ == nullptr) return {};
  const double w = raster_->width() / scale_;
  const double h = raster_->height() / scale_;
  return IsTransposed(orientation_) ? Size{h, w} : Size{w, h};
}

void Image::Draw(Rect rect) const noexcept {
  if (GraphicsContext* context = GetCurrentContext()) context->DrawImageInRect(*this, rect);
}

}  // namespace kelvane::platform
