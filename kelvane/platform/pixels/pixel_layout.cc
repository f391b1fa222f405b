// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/pixels/pixel_layout.h"

namespace kelvane::platform {

unsigned PixelLayout::BytesPerPixel(std::uint32_t info, ColorSpace space) noexcept {
  if ((info & ~(kBitmapAlphaInfoMask | kBitmapByteOrderMask)) != 0) return 0;
  const std::uint32_t alpha = info & kBitmapAlphaInfoMask;
  const std::uint32_t order = info & kBitmapByteOrderMask;
  if (alpha > 7) return 0;
  if (order != kBitmapByteOrderDefault && order != kBitmapByteOrder32Little &&
      order != kBitmapByteOrder32Big) {
    return 0;
  }
  unsigned bytes = 0;
  if (alpha == 7) {
    bytes = 1;
  } else if (space == ColorSpace::kGrey) {
    bytes = alpha == 0 ? 1 : 2;
  } else {
    bytes = alpha == 0 ? 3 : 4;
  }
  if (order != kBitmapByteOrderDefault && bytes != 4) return 0;
  return bytes;
}

PixelLayout PixelLayout::Packed(std::uint32_t width, std::uint32_t height,
                                std::uint32_t bitmap_info, ColorSpace space) noexcept {
  const std::size_t row = std::size_t{width} * BytesPerPixel(bitmap_info, space);
  return {width, height, (row + 3) & ~std::size_t{3}, bitmap_info, space};
}

bool PixelLayout::IsValid() const noexcept {
  const unsigned bpp = BytesPerPixel();
  if (bpp == 0 || width == 0 || height == 0) return false;
  // The row first: the product below cannot overflow once the row is within the limit.
  if (bytes_per_row > kMaxRasterBytes || std::size_t{width} * bpp > bytes_per_row) return false;
  return bytes_per_row * height <= kMaxRasterBytes;
}

}  // namespace kelvane::platform
