// kelvane/images/internal/resize_routes.h
//
// The two routes a resize takes (see resize.h), open to the tests so that they can hold one
// against the other. Not a public header.
#pragma once

#include <cstdint>

#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::Resize::internal {

// The orientation (0..7) whose turn, as the area resampler applies it, equals drawing a
// width x height raster into `rect` under `transform` in a bitmap of bitmap_width x
// bitmap_height pixels (y up); -1 when the drawing is not such a turn.
[[nodiscard]] int OrientationOfDrawing(const platform::AffineTransform& transform,
                                       const platform::Rect& rect, std::uint32_t width,
                                       std::uint32_t height, std::uint32_t bitmap_width,
                                       std::uint32_t bitmap_height) noexcept;

// `source` turned by `orientation` and reduced (or copied) by area averaging to `width` x
// `height` displayed pixels, in the 4-byte RGB layout `bitmap_info`, which must hold the same
// alpha as the source's in the same or the reversed byte order. Null when the layouts do not
// fit that, a side would grow, a side passes the engine's surface limit, or memory runs out.
[[nodiscard]] platform::RasterRef ReduceOriented(const platform::Raster& source, int orientation,
                                                 std::uint32_t width, std::uint32_t height,
                                                 std::uint32_t bitmap_info) noexcept;

// The drawing route: a bitmap of width x height pixels in `bitmap_info`, `transform`
// concatenated, `quality` set, the raster drawn into `rect`. Null when no bitmap can be made.
[[nodiscard]] platform::RasterRef DrawResized(const platform::Raster& source, std::uint32_t width,
                                              std::uint32_t height, std::uint32_t bitmap_info,
                                              const platform::AffineTransform& transform,
                                              const platform::Rect& rect, int quality) noexcept;

}  // namespace kelvane::Resize::internal
