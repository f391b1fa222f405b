// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/internal/png_rows.h
//
// The row work of the PNG codec's own reader and writer: undoing the five row filters of 8-bit
// samples, and moving rows between the working format (premultiplied B, G, R, A) and the
// samples a PNG file stores.
//
// Threads: pure functions over the memory they are given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane::platform::internal {

// PNG's filter types, the first byte of each row of the image data.
enum PngFilter : std::uint8_t { kFilterNone, kFilterSub, kFilterUp, kFilterAverage, kFilterPaeth };

// Undoes `filter` on `row` (`size` bytes, `bpp` bytes a pixel) in place, against the row above
// as it was before filtering (`above`, all zeros for the first row). False for a filter type
// that does not exist. REQUIRES: bpp is 1 to 4.
[[nodiscard]] bool UnfilterRow(std::uint8_t filter, unsigned bpp, std::uint8_t* row,
                               const std::uint8_t* above, std::size_t size);

// One row of `width` pixels of the image data of a colour type (0 grey, 2 RGB, 4 grey and
// alpha, 6 RGBA; 8-bit samples) as working-format pixels: B, G, R, A premultiplied, alpha 0xFF
// for the types without it.
void PngSamplesToWorking(int color_type, const std::uint8_t* samples, std::uint32_t width,
                         std::uint8_t* out);

// One row of working-format pixels as PNG samples: RGB (`alpha` false: the fourth byte is
// ignored) or RGBA with alpha divided out (`alpha` true).
void WorkingToPngSamples(const std::uint8_t* pixels, std::uint32_t width, bool alpha,
                         std::uint8_t* out);

}  // namespace kelvane::platform::internal
