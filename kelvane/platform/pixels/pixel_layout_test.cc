// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/pixels/pixel_layout.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

namespace kelvane::platform {
namespace {

TEST(PixelLayout, RefusesShapesThatDoNotFitASigned32BitCount) {
  struct Case {
    PixelLayout layout;
    bool valid;
  };
  const Case cases[] = {
      {PixelLayout::Working(16383, 32767, 16383 * 4), true},   // 2147352576 bytes: just fits
      {PixelLayout::Working(23171, 23171, 23171 * 4), false},  // 2147580964 bytes
      {PixelLayout::Working(1, 1, 0x80000000u), false},        // one row past the count
      // A row so long that rows x height wraps around to 0 in 64 bits.
      {PixelLayout::Working(1, 2, std::size_t{1} << 63), false},
      {PixelLayout::Working(2, 1, 7), false},  // the row does not hold its pixels
      {PixelLayout::Working(0, 1, 4), false},
      {PixelLayout::Working(1, 0, 4), false},
      {PixelLayout{1, 1, 4, 0x1002, ColorSpace::kRGB}, false},   // a 16-bit order
      {PixelLayout{1, 1, 4, 0x10002, ColorSpace::kRGB}, false},  // bits outside both fields
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.layout.width << " x " << c.layout.height << ", row " << c.layout.bytes_per_row
                 << ", info 0x" << std::hex << c.layout.bitmap_info);
    EXPECT_EQ(c.layout.IsValid(), c.valid);
  }
}

}  // namespace
}  // namespace kelvane::platform
