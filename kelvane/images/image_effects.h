// SPDX-License-Identifier: Apache-2.0
// kelvane/images/image_effects.h
//
// Frosted copies of images: a strong blur (three box-filter passes that approximate a Gaussian),
// a saturation change that keeps grey levels, the effect optionally clipped to a mask with the
// sharp picture showing elsewhere, and a translucent tint laid over everything. Four presets
// (light, extra light, dark, tinted) call one general operation.
//
// Pictures are worked on in device pixels (points x scale), upright: an image with an
// orientation other than up is turned as it is displayed before its pixels are blurred, and the
// sharp picture and the mask are drawn the way they are displayed too, so the effect lies
// exactly over the source. Results are new images of the source's size in points and scale,
// orientation up, rendering mode automatic; opaque exactly when the source's pixels have no
// alpha. Sources of every raster layout are converted to premultiplied 8-bit B, G, R, A first.
//
// Working memory: an effect works in two buffers of the picture's size (4 bytes a pixel) and
// draws its result in one of them, which the result image then owns. The buffers come from the
// process's pool of pixel memory, shared with large image surfaces, which keeps blocks between
// calls so that repeated effects work in pages already mapped instead of faulting fresh ones
// in: at most 160 MiB in 8 blocks. A kept block goes back to the system when a call asks for
// less than half its size (a smaller picture), when it has lain unused for 2 seconds (swept on
// the dispatch pool's global queue), or to make room for a newer one. A result's pixels return
// to the pool when the image goes.
//
// Ownership: results are new images; the arguments are only read.
// Threads: any thread. The operation draws through the calling thread's stack of current
// contexts (platform/graphics/image_surfaces.h) and leaves it as it found it. The passes over
// large pictures run in bands on the worker pool as well as on the calling thread
// (platform/dispatch/apply.h) and the call returns when all are done; a KeepOnThisThread living
// on the calling thread keeps the whole call on it. The result is the same either way.
#pragma once

#include "kelvane/export.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane {

using platform::ColorRef;
using platform::ImageRef;

// The frosted-glass effects: blur, saturation and a tint over a picture.
class KELVANE_EXPORT UIImageEffects {
 public:
  UIImageEffects() = delete;
  UIImageEffects(const UIImageEffects&) = delete;
  UIImageEffects& operator=(const UIImageEffects&) = delete;

  // Blur radius 60 points, saturation 1.8, white at alpha 0.3 over it. Null as the general
  // operation.
  [[nodiscard]] static ImageRef imageByApplyingLightEffectToImage(const ImageRef& image) noexcept;
  // Blur radius 40 points, saturation 1.8, white level 0.97 at alpha 0.82 over it.
  [[nodiscard]] static ImageRef imageByApplyingExtraLightEffectToImage(
      const ImageRef& image) noexcept;
  // Blur radius 40 points, saturation 1.8, white level 0.11 at alpha 0.73 over it.
  [[nodiscard]] static ImageRef imageByApplyingDarkEffectToImage(const ImageRef& image) noexcept;

  // Blur radius 20 points, saturation -1 (opposite hues), and `color` at alpha 0.6 over it: a
  // grey colour stays grey, a colour with an RGB form keeps its red, green and blue (a dynamic
  // colour as it resolves in the current appearance); any other colour (a pattern) is laid
  // over unchanged, and null lays no tint.
  [[nodiscard]] static ImageRef imageByApplyingTintEffectWithColor(
      const ColorRef& color, const ImageRef& toImage) noexcept;

  // The general operation. `withRadius` is the blur radius in points (at most single-precision
  // epsilon, negative or not a number: no blur); `saturationDeltaFactor` scales saturation
  // around the luminance grey (within epsilon of 1 or not a number: unchanged). With neither
  // effect the image is only redrawn, with no working buffers at all. `tintColor` (may be
  // null) is laid over the whole picture source-over. With `maskImage`, the effect shows only
  // where the mask covers (its alpha, or its grey level for an opaque grey mask, stretched to
  // the image's size) and the sharp source elsewhere; the tint covers both.
  // Blurs wider than the filter's largest box (4095 pixels) use that box.
  // Null when `image` is null, smaller than 1 x 1 point or without pixels, when `maskImage` is
  // given without pixels, or when the picture does not fit a drawing surface or memory runs out.
  [[nodiscard]] static ImageRef imageByApplyingBlurToImage(const ImageRef& image, double withRadius,
                                                           const ColorRef& tintColor,
                                                           double saturationDeltaFactor,
                                                           const ImageRef& maskImage) noexcept;
};

// Frees pixel memory that the effects handed to a result raster (taken from std::malloc's
// family); `info` is ignored. Null memory is ignored.
KELVANE_EXPORT void cleanupBuffer(void* info, const void* data) noexcept;

}  // namespace kelvane
