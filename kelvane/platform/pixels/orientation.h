// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/pixels/orientation.h
//
// How a raster as stored is to be turned for display, in the platform's numbering (the raster
// must be ... to show upright):
//   0 up (as stored)   1 down (turned 180°)   2 left (turned 90° anticlockwise)
//   3 right (turned 90° clockwise)   4-7 the same four, mirrored left to right.
// 2, 3, 6 and 7 are transposed: the displayed width is the raster's height.
//
// Numbers from outside (a facade's int, an EXIF field) become an orientation through the one
// checked conversion for their numbering: ImageOrientationFromInt() here, and
// ImageOrientationFromExif() in codecs/exif.h.
#pragma once

#include <optional>

namespace kelvane::platform {

// Unscoped, so that an orientation reads as its number where a facade's contract hands one out
// (no number becomes an orientation without the checked conversion below).
enum ImageOrientation : int {
  kOrientationUp = 0,             // as stored
  kOrientationDown = 1,           // turned 180°
  kOrientationLeft = 2,           // turned 90° anticlockwise
  kOrientationRight = 3,          // turned 90° clockwise
  kOrientationUpMirrored = 4,     // as stored, mirrored left to right
  kOrientationDownMirrored = 5,   // turned 180°, mirrored left to right
  kOrientationLeftMirrored = 6,   // turned 90° anticlockwise, mirrored left to right
  kOrientationRightMirrored = 7,  // turned 90° clockwise, mirrored left to right
};

// The orientation numbered `value` (0..7, see above); nullopt for any other number.
[[nodiscard]] constexpr std::optional<ImageOrientation> ImageOrientationFromInt(
    int value) noexcept {
  if (value < 0 || value > 7) return std::nullopt;
  return static_cast<ImageOrientation>(value);
}

// The platform's number of an orientation, 0..7.
[[nodiscard]] constexpr int ToInt(ImageOrientation orientation) noexcept {
  return static_cast<int>(orientation);
}

// True for left, right and their mirrors: the displayed sides are the stored ones exchanged.
[[nodiscard]] constexpr bool IsTransposed(ImageOrientation orientation) noexcept {
  return orientation == kOrientationLeft || orientation == kOrientationRight ||
         orientation == kOrientationLeftMirrored || orientation == kOrientationRightMirrored;
}

}  // namespace kelvane::platform
