// SPDX-License-Identifier: Apache-2.0
// kelvane/images/internal/resize_routes.h
//
// The two routes a resize takes (see resize.h), open to the tests so that they can hold one
// against the other. Not a public header.
#pragma once

#include <cstdint>
#include <optional>

#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::Resize::internal {

// The orientation whose turn, as the area resampler applies it, equals drawing a width x height
// raster into `rect` under `transform` in a bitmap of bitmap_width x bitmap_height pixels
// (y up); nullopt when the drawing is not such a turn.
[[nodiscard]] std::optional<platform::ImageOrientation> OrientationOfDrawing(
    const platform::AffineTransform& transform, const platform::Rect& rect, std::uint32_t width,
    std::uint32_t height, std::uint32_t bitmap_width, std::uint32_t bitmap_height) noexcept;

// `source` turned by `orientation` and reduced (or copied) by area averaging to the displayed
// pixels `to` describes: packed rows of a 4-byte RGB layout holding the same alpha as the
// source's, in the same or the reversed byte order. Null when the layouts do not fit that, a
// side would grow, a side passes the engine's surface limit, or memory runs out.
[[nodiscard]] platform::RasterRef ReduceOriented(const platform::Raster& source,
                                                 platform::ImageOrientation orientation,
                                                 const platform::PixelLayout& to) noexcept;

// ReduceOriented() that also enlarges: each displayed side that grows is interpolated with
// `filter` (pixel_kernels.h). Null as above, but for growing sides.
[[nodiscard]] platform::RasterRef ResampleOriented(const platform::Raster& source,
                                                   platform::ImageOrientation orientation,
                                                   const platform::PixelLayout& to,
                                                   platform::EnlargeFilter filter) noexcept;

// The drawing route: a bitmap context of `bitmap` (its bytes per row 0: the context's choice),
// `transform` concatenated, `quality` set, the raster drawn into `rect`. Null when no bitmap
// can be made.
[[nodiscard]] platform::RasterRef DrawResized(const platform::Raster& source,
                                              const platform::PixelLayout& bitmap,
                                              const platform::AffineTransform& transform,
                                              const platform::Rect& rect,
                                              platform::InterpolationQuality quality) noexcept;

}  // namespace kelvane::Resize::internal
