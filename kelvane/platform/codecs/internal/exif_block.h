// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/internal/exif_block.h
//
// The orientation of an EXIF block that a container stores on its own (WebP's EXIF chunk),
// rather than in a JPEG segment.
#pragma once

#include <cstdint>
#include <span>

namespace kelvane::platform::internal {

// The EXIF orientation value 1..8 of an EXIF block: a TIFF header and its directories, with or
// without the "Exif\0\0" prefix of a JPEG segment; 0 when there is none or it is out of range.
[[nodiscard]] int ExifBlockOrientation(std::span<const std::uint8_t> block) noexcept;

}  // namespace kelvane::platform::internal
