// SPDX-License-Identifier: Apache-2.0
// bench/photo_pixels.h
//
// The picture the image benchmarks work on: smooth gradients with some texture, so that filters
// and encoders have real work, as packed premultiplied B, G, R, A rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane::bench {

// `width` x `height` pixels, 4 bytes each, rows without padding. Rows in [translucent_from,
// translucent_to) carry alpha 128 (colours premultiplied); all others are opaque.
inline std::vector<std::uint8_t> PhotoPixels(int width, int height, int translucent_from = 0,
                                             int translucent_to = 0) {
  std::vector<std::uint8_t> p(std::size_t(width) * 4 * std::size_t(height));
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = p.data() + std::size_t(width) * 4 * std::size_t(y);
    const int alpha = y >= translucent_from && y < translucent_to ? 128 : 255;
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245 + 12345;
      const int n = (noise >> 16) & 15;
      row[4 * x] = static_cast<std::uint8_t>(((x * 255 / width + n) & 255) * alpha / 255);
      row[4 * x + 1] = static_cast<std::uint8_t>(((y * 255 / height + n) & 255) * alpha / 255);
      row[4 * x + 2] = static_cast<std::uint8_t>((((x + y) / 30 * 40 + n) & 255) * alpha / 255);
      row[4 * x + 3] = static_cast<std::uint8_t>(alpha);
    }
  }
  return p;
}

}  // namespace kelvane::bench
