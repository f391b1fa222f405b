// kelvane/platform/codecs/limits.h
//
// The decoded-size limit every image decoder keeps, checked from the file's header before any
// pixel memory is allocated, so that a small file claiming a huge picture (a decompression
// bomb) is refused at once.
#pragma once

#include <cstdint>

#include "kelvane/platform/graphics/raster.h"

namespace kelvane::platform {

// At most 100 megapixels, and at most a signed 32-bit count of bytes at 4 bytes per pixel.
inline constexpr std::uint64_t kMaxDecodedPixels = 100'000'000;

[[nodiscard]] inline bool DecodedSizeAllowed(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxDecodedPixels &&
         width * 4 * height <= kMaxRasterBytes;
}

}  // namespace kelvane::platform
