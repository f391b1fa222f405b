// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/exif.h
//
// The orientation a JPEG's EXIF block records, read with libexif from the first APP1 "Exif"
// segment before the picture data.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <cstdint>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/pixels/orientation.h"

namespace kelvane::platform {

// The EXIF orientation value 1..8 of a JPEG file; 0 when there is none or it is out of range.
[[nodiscard]] KELVANE_EXPORT int ExifOrientation(std::span<const std::uint8_t> jpeg) noexcept;

// The image orientation for an EXIF value: 1 up, 3 down, 6 right, 8 left, 2 up mirrored,
// 4 down mirrored, 5 left mirrored, 7 right mirrored; anything else up. The one conversion
// from an EXIF value to an orientation.
[[nodiscard]] KELVANE_EXPORT ImageOrientation ImageOrientationFromExif(int exif) noexcept;

// Deprecated: ImageOrientationFromExif() as the orientation's number. Kept for programs built
// against it.
[[nodiscard]] KELVANE_EXPORT int OrientationFromExif(int exif) noexcept;

}  // namespace kelvane::platform
