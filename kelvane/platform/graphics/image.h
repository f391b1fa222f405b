// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/image.h
//
// The platform image: an immutable raster with a scale (pixels per point), an orientation that
// says how the raster is to be turned for display, and a rendering mode. Images are shared as
// ImageRef; the same ImageRef is the same image.
//
// Orientations: ImageOrientation (pixels/orientation.h).
// Rendering modes: 0 automatic, 1 always original, 2 always template (drawn as its alpha
// coverage in the current fill colour).
//
// Threads: immutable; any number of threads may use one image at once.
#pragma once

#include <memory>

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/pixels/orientation.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

class GraphicsContext;
class Image;
// Images are immutable and shared: the same ref is the same image.
using ImageRef = std::shared_ptr<const Image>;

// How an image is drawn, in the platform's numbering.
enum ImageRenderingMode : int {
  kRenderingAutomatic = 0,       // its own colours (the mode of a new image)
  kRenderingAlwaysOriginal = 1,  // its own colours
  kRenderingAlwaysTemplate = 2,  // its alpha coverage, painted in the fill colour
};

// An immutable picture: a raster, its scale, its orientation and its rendering mode.
class KELVANE_EXPORT Image {
 public:
  // An image of `raster` (which may be null: an image without pixels, 0 x 0 points) at `scale`
  // pixels per point (a scale that is not a number above 0 reads as 1) and `orientation`.
  // Null when the orientation is not one of the eight or memory runs out.
  [[nodiscard]] static ImageRef Make(RasterRef raster, double scale = 1.0,
                                     ImageOrientation orientation = kOrientationUp) noexcept;
  // Deprecated: Make() with the orientation as its number, through ImageOrientationFromInt();
  // null for a number outside 0..7. Kept for programs built against it.
  [[nodiscard]] static ImageRef Make(RasterRef raster, double scale, int orientation) noexcept;

  // The same raster, scale and orientation in another rendering mode; null when the mode is
  // outside 0..2.
  [[nodiscard]] ImageRef WithRenderingMode(int mode) const noexcept;

  // The pixels, as stored (before the orientation); null for an image without pixels.
  [[nodiscard]] const RasterRef& raster() const noexcept { return raster_; }
  // Pixels per point.
  [[nodiscard]] double scale() const noexcept { return scale_; }
  // How the raster is turned to show the picture upright.
  [[nodiscard]] ImageOrientation orientation() const noexcept {
    return static_cast<ImageOrientation>(orientation_);
  }
  // An ImageRenderingMode.
  [[nodiscard]] int rendering_mode() const noexcept { return rendering_mode_; }
  // The displayed size in points: the raster's pixels / scale, sides exchanged for the
  // transposed orientations.
  [[nodiscard]] Size size() const noexcept;
  // True for the orientations that exchange width and height (left and right, mirrored or
  // not), as platform::IsTransposed.
  [[nodiscard]] static bool IsTransposed(ImageOrientation orientation) noexcept {
    return platform::IsTransposed(orientation);
  }
  // Deprecated: the orientation as its number (a number outside 0..7 is not transposed).
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
  // For the factories only (the token is the images' own).
  Image(Token, RasterRef raster, double scale, ImageOrientation orientation, int mode) noexcept
      : raster_(std::move(raster)),
        scale_(scale),
        orientation_(ToInt(orientation)),
        rendering_mode_(mode) {}
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

 private:
  RasterRef raster_;
  double scale_;
  int orientation_;  // an ImageOrientation, kept as its number so the class keeps its layout
  int rendering_mode_;
};

}  // namespace kelvane::platform
