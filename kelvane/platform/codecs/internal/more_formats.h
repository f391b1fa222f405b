// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/internal/more_formats.h
//
// The picture formats read besides PNG and JPEG, behind one call for the image files
// (graphics/image_file.cc).
#pragma once

#include <cstdint>
#include <span>

#include "kelvane/platform/core/result.h"
#include "kelvane/platform/pixels/orientation.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform::internal {

// A decoded picture: the raster as the file stores it and how it is to be turned for display.
struct DecodedPicture {
  RasterRef raster;                               // never null in a result
  ImageOrientation orientation = kOrientationUp;  // the file's own orientation
};

// The picture in `bytes` when they hold a format read here besides PNG and JPEG (WebP with the
// orientation of its EXIF chunk, GIF, HEIC and AVIF upright); kUnsupported when they hold none
// of them, else the decoder's reason.
[[nodiscard]] Result<DecodedPicture> ReadMoreFormats(std::span<const std::uint8_t> bytes) noexcept;

// ReadWebP() (codecs/webp.h) with the orientation of the file's EXIF chunk.
[[nodiscard]] Result<DecodedPicture> ReadWebPPicture(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace kelvane::platform::internal
