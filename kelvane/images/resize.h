// SPDX-License-Identifier: Apache-2.0
// kelvane/images/resize.h
//
// Resizing images with their orientation baked in, and JPEG data of an image whose longer side
// is held to a limit.
//
// Every resize renders the stored raster into a new bitmap of whole pixels (the requested size
// rounded outwards, so 10.2 x 10.7 makes 11 x 11) under a transform that turns it upright; the
// result has orientation up and the scale of the source. The bitmap keeps the source's colour
// space and alpha layout, with alpha that is not premultiplied made premultiplied (alpha last
// and first become premultiplied last and first) and the byte order left at the default.
// Layouts the bitmap cannot take (RGB without alpha or skip byte, grey with alpha) give
// nothing. Rasters hold 8 bits per component: 16-bit pictures are reduced when they are
// decoded (codecs/png.h), so a resize never meets one.
//
// How the pixels are made: when the transform lays the raster onto the bitmap along its axes
// (one of the eight orientations) and the raster holds 4-byte RGB pixels with premultiplied or
// no alpha, the library's resampler makes them (pixel_kernels.h): along a reduced side each
// bitmap pixel is the mean of the raster area it covers, a kept side is copied exactly, and a
// side that grows is interpolated between pixel centres with edges repeated, bilinearly for
// qualities default, low and medium and with the interpolating cubic (a = -0.5) for high.
// Every other case (other transforms, other layouts, fractional sizes) is drawn by the
// graphics engine with the requested interpolation. Interpolation "none" (1) asks for the
// nearest pixel: it takes the resampler only for kept sizes, where both routes copy pixels
// exactly, and the engine's nearest pixel for any other size.
// Large bitmaps are made in bands of rows that run at once on the dispatch pool
// (dispatch/apply.h); a caller that holds a KeepOnThisThread keeps the whole call on its thread.
// The pixels are the same either way.
//
// Threads: images are immutable; every function may be called from any thread at once.
#pragma once

#include <cstdint>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/geometry/content_mode.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane {
namespace Resize {

// The image drawn upright into a bitmap of `newSize` pixels (rounded outwards) with
// interpolation `quality`, a platform::InterpolationQuality (0 default, 1 none, 2 low, 3 high,
// 4 medium: kInterpolationDefault ... in graphics/context.h; others read as default).
// Null when the image has no raster or no bitmap can be made (an empty, negative, absurd or
// non-finite size, a layout the bitmap cannot take), or when memory runs out.
[[nodiscard]] KELVANE_EXPORT platform::ImageRef resizedImage(const platform::Image& image,
                                                             platform::Size newSize,
                                                             int quality) noexcept;

// resizedImage() scaled to `bounds` (points): content mode 1 (platform::kContentModeFit) fits
// the whole image inside, any other mode covers the bounds. Ratios against a zero-sized image
// end in a failed bitmap (null).
[[nodiscard]] KELVANE_EXPORT platform::ImageRef resizedImageWithContentMode(
    const platform::Image& image, std::int64_t contentMode, platform::Size bounds,
    int quality) noexcept;

// resizedImage() with the size in points times `ratio`; null for a ratio that is not above 0.
[[nodiscard]] KELVANE_EXPORT platform::ImageRef resizedImageWithRatio(const platform::Image& image,
                                                                      double ratio,
                                                                      int quality) noexcept;

// The raster drawn under `transform` into a bitmap of `newSize` pixels (rounded outwards) at
// the bitmap's origin, filling the bitmap, or its transposed sides when `drawTransposed`.
// The result has orientation up and the source's scale; null as for resizedImage().
[[nodiscard]] KELVANE_EXPORT platform::ImageRef resizedImage(
    const platform::Image& image, platform::Size newSize,
    const platform::AffineTransform& transform, bool drawTransposed, int quality) noexcept;

// The transform that turns the stored raster upright for the image's orientation, in a bitmap
// of `newSize` (y up): identity for up, 180° turns about (w, h) / 2, quarter turns and mirror
// flips as the orientation asks. Sine and cosine terms of about 1e-16 stand where 0 is exact.
[[nodiscard]] KELVANE_EXPORT platform::AffineTransform transformForOrientation(
    const platform::Image& image, platform::Size newSize) noexcept;

// The displayed size in pixels: size in points times scale.
[[nodiscard]] KELVANE_EXPORT platform::Size sizeInPixels(const platform::Image& image) noexcept;

// JPEG data of the image drawn upright at its own scale, shrunk so that its longer side in
// pixels is at most `limitSidePixels`; never enlarged. The size in points used is (w, h) =
// the image's size divided by (longer side / limit), each quotient rounded down in single
// precision (a 3000 x 2000 point image at limit 1000 gives 1000 x 666), or the image's size
// when it fits. `quality` 0..1 goes to the encoder unchanged.
// A limit that is negative or not a number gives a ratio that is not above 1, so the picture
// keeps its size (callers pass -1 for "no limit"); a limit of 0 leaves 0 x 0 points.
// The used size is stored through `adjustedSize` when it is not null, also when no data comes
// out. nullopt when the image has no raster, a side comes out as 0 points, encoding fails or
// memory runs out.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> compressToJPEG(
    const platform::Image& image, double quality, double limitSidePixels,
    platform::Size* adjustedSize) noexcept;

}  // namespace Resize
}  // namespace kelvane
