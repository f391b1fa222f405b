#include "kelvane/platform/pixels/pixel_layout.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

namespace kelvane::platform {
namespace {

TEST(PixelLayout, PackedRowsRoundUpToFourBytes) {
  struct Case {
    std::uint32_t width, info;
    ColorSpace space;
    std::size_t row;
  };
  const Case cases[] = {
      {5, 0x0000, ColorSpace::kRGB, 16},  // 15 bytes of RGB
      {3, 0x0000, ColorSpace::kGrey, 4},
      {3, 0x0004, ColorSpace::kGrey, 8},
      {3, 0x0007, ColorSpace::kRGB, 4},  // alpha only: one byte whatever the space
      {3, 0x2002, ColorSpace::kRGB, 12},
      {3, 0x2000, ColorSpace::kRGB, 0},  // a 32-bit order on 3-byte pixels is no layout
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "width " << c.width << ", info 0x" << std::hex << c.info);
    const PixelLayout layout = PixelLayout::Packed(c.width, 2, c.info, c.space);
    EXPECT_EQ(layout.bytes_per_row, c.row);
    EXPECT_EQ(layout.IsValid(), c.row != 0);
  }
}

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
