// kelvane/platform/graphics/image.h
//
// The platform image: an immutable raster with a scale (pixels per point), an orientation that
// says how the raster is to be turned for display, and a rendering mode. Images are shared as
// ImageRef; the same ImageRef is the same image.
//
// Orientations, in the platform's numbering (the raster as stored must be ... to show upright):
//   0 up (as stored)   1 down (turned 180°)   2 left (turned 90° anticlockwise)
//   3 right (turned 90° clockwise)   4-7 the same four, mirrored left to right.
// 2, 3, 6 and 7 are transposed: the displayed width is the raster's height.
// Rendering modes: 0 automatic, 1 always original, 2 always template (drawn as its alpha
// coverage in the current fill colour).
//
// Threads: immutable; any number of threads may use one image at once.
#pragma once

#include <memory>

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

class GraphicsContext;
class Image;
using ImageRef = std::shared_ptr<const Image>;

enum ImageOrientation : int {
  kOrientationUp = 0,
  kOrientationDown = 1,
  kOrientationLeft = 2,
  kOrientationRight = 3,
  kOrientationUpMirrored = 4,
  kOrientationDownMirrored = 5,
  kOrientationLeftMirrored = 6,
  kOrientationRightMirrored = 7,
};

enum ImageRenderingMode : int {
  kRenderingAutomatic = 0,
  kRenderingAlwaysOriginal = 1,
  kRenderingAlwaysTemplate = 2,
};

class KELVANE_EXPORT Image {
 public:
  // An image of `raster` (which may be null: an image without pixels, 0 x 0 points) at `scale`
  // pixels per point (a scale that is not a number above 0 reads as 1) and `orientation`.
  // Null when the orientation is outside 0..7 or memory runs out.
  [[nodiscard]] static ImageRef Make(RasterRef raster, double scale = 1.0,
                                     int orientation = kOrientationUp) noexcept;

  // The same raster, scale and orientation in another rendering mode; null when the mode is
  // outside 0..2.
  [[nodiscard]] ImageRef WithRenderingMode(int mode) const noexcept;

  [[nodiscard]] const RasterRef& raster() const noexcept { return raster_; }
  [[nodiscard]] double scale() const noexcept { return scale_; }
  [[nodiscard]] int orientation() const noexcept { return orientation_; }
  [[nodiscard]] int rendering_mode() const noexcept { return rendering_mode_; }
  // The displayed size in points: the raster's pixels / scale, sides exchanged for the
  // transposed orientations.
  [[nodiscard]] Size size() const noexcept;
  [[nodiscard]] static bool IsTransposed(int orientation) noexcept {
    return orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7;
  }

  // Draws the image upright into `rect` of the current context of this thread (see
  // image_surfaces.h), honouring orientation and rendering mode; nothing without a context.
  void Draw(Rect rect) const noexcept;

 protected:
  // Keeps construction to the factories, which never throw; the constructor is public so that
  // they can allocate the object in one block.
  struct Token {
    explicit Token() = default;
  };

 public:
  Image(Token, RasterRef raster, double scale, int orientation, int mode) noexcept
      : raster_(std::move(raster)),
        scale_(scale),
        orientation_(orientation),
        rendering_mode_(mode) {}
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

 private:
  RasterRef raster_;
  double scale_;
  int orientation_;
  int rendering_mode_;
};

}  // namespace kelvane::platform
