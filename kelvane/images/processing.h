// SPDX-License-Identifier: Apache-2.0
// kelvane/images/processing.h
//
// An image's pixels as a plain array of premultiplied alpha, red, green, blue records, and the
// colour of one pixel.
//
// The pixels are those of the stored raster, as it lies: the image's orientation and scale
// play no part, so pixel (x, y) is column x of row y of the raster, rows counted from the
// first. Each call renders the whole raster; a caller sampling many pixels calls
// createBitmap() once and reads the array.
//
// Threads: images are immutable; every function may be called from any thread at once. A
// pixel array and size filled by createBitmap() belong to the caller.
#pragma once

#include <cstdint>
#include <memory>

#include "kelvane/colours/color_cache.h"
#include "kelvane/containers/storage.h"
#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane {

// One pixel as it lies in memory: alpha, then red, green and blue premultiplied by alpha.
struct Pixel {
  std::uint8_t alpha;  // 0 transparent .. 255 opaque
  std::uint8_t red;    // premultiplied by alpha
  std::uint8_t green;  // premultiplied by alpha
  std::uint8_t blue;   // premultiplied by alpha
};
static_assert(sizeof(Pixel) == 4);

namespace Processing {

// Appends the raster's width x height pixels to `bitmap`, rows from the first down, each left
// to right, and stores (width, height) in pixels through `Size`. Pixels already in the array
// stay in front of the new ones. Both outputs stay untouched when the image has no raster, no
// bitmap can be made for it, or the array cannot grow. REQUIRES: both pointers are non-null.
KELVANE_EXPORT void createBitmap(const platform::Image& image, TArray<Pixel>* bitmap,
                                 platform::Size* Size) noexcept;

// The opaque colour (from Create::ColorForRGB) of the premultiplied red, green and blue of
// the pixel at index x + y x width, truncated towards 0 ((1.9, 0) reads pixel 1). Only the
// upper bounds are tested: a point left of or above the raster whose index comes out negative
// reads pixel 0. Null when x >= width or y >= height, when the index passes the last pixel, or
// when the image cannot be rendered.
[[nodiscard]] KELVANE_EXPORT ColorRef colorInPixel(const platform::Image& image,
                                                   platform::Point point) noexcept;

// A bitmap context of the raster's sides in the layout alpha, red, green, blue (premultiplied,
// bitmap info 2, 8 bits per component, RGB), rows of exactly width x 4 bytes, transparent and
// not yet drawn into. The context owns its memory. Null when a row or the whole buffer does
// not fit a signed 32-bit byte count, a side is 0 or passes the engine's limit, or memory runs
// out.
[[nodiscard]] KELVANE_EXPORT std::unique_ptr<platform::GraphicsContext>
CreateARGBBitmapContextFromImage(const platform::Raster& inImage) noexcept;

}  // namespace Processing
}  // namespace kelvane
