// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/limits.h
//
// The limits every image decoder keeps, so that the time and memory a file can take stay in
// proportion to the picture it declares. The decoded size is checked from the file's header
// before any pixel memory is allocated, so that a small file claiming a huge picture (a
// decompression bomb) is refused at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

// At most 100 megapixels, and at most a signed 32-bit count of bytes at 4 bytes per pixel.
inline constexpr std::uint64_t kMaxDecodedPixels = 100'000'000;

// True when a width x height picture is within both limits (and neither side is 0).
[[nodiscard]] inline bool DecodedSizeAllowed(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxDecodedPixels &&
         width * 4 * height <= kMaxRasterBytes;
}

// "a 60000 x 60000 picture, over the decoded-size limit of 100 megapixels": the reason a picture
// is refused for its size.
[[nodiscard]] inline std::string OverDecodedSizeLimit(std::uint64_t width, std::uint64_t height) {
  return "a " + std::to_string(width) + " x " + std::to_string(height) +
         " picture, over the decoded-size limit of " +
         std::to_string(kMaxDecodedPixels / 1'000'000) + " megapixels";
}

// At most this many scans in a JPEG file, counted before decoding. Each scan of a progressive
// file passes over every coefficient of the picture, so the work of a decode is at most this
// many times the picture's; encoders write ten scans or so, and rarely more than twenty.
inline constexpr std::size_t kMaxJPEGScans = 100;

}  // namespace kelvane::platform
