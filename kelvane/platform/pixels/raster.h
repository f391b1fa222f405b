// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/pixels/raster.h
//
// An immutable block of pixels, laid out as a PixelLayout describes (pixels/pixel_layout.h:
// sides, bytes per row, the layout's bitmap-info word and the colour space, 8 bits per
// component). Rows lie one after another from the first (the top of an upright picture).
//
// Ownership: a raster owns its pixels (or keeps alive whatever owns them, for Wrap()).
// Threads: immutable; any number of threads may read one at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/pixels/pixel_layout.h"

namespace kelvane::platform {

class Raster;
// Rasters are immutable and shared: the same ref is the same raster.
using RasterRef = std::shared_ptr<const Raster>;

// An immutable block of pixels with its layout.
class KELVANE_EXPORT Raster {
 public:
  // A raster of `layout` over `pixels`, which it takes. Null when the layout is not valid
  // (PixelLayout::IsValid) or `pixels` holds fewer than layout.ByteCount() bytes.
  [[nodiscard]] static RasterRef Make(const PixelLayout& layout,
                                      std::vector<std::uint8_t> pixels) noexcept;

  // As Make() over a copy of layout.ByteCount() bytes at `pixels`.
  [[nodiscard]] static RasterRef Copy(const PixelLayout& layout, const void* pixels) noexcept;
  // As Copy() of the pixels a view shows.
  [[nodiscard]] static RasterRef Copy(const PixelView& pixels) noexcept {
    return Copy(pixels.layout, pixels.data);
  }

  // As Make() over memory the raster does not copy: `release` runs once when the raster goes
  // (also when Wrap fails). REQUIRES: the memory stays unchanged until then.
  [[nodiscard]] static RasterRef Wrap(const PixelLayout& layout, const void* pixels,
                                      std::function<void()> release) noexcept;

  // Deprecated: Make(), Copy() and Wrap() with the sides, bytes per row, bitmap info and colour
  // space as separate arguments; use the forms above, which take them as one PixelLayout. Kept
  // for programs built against them.
  [[nodiscard]] static RasterRef Make(std::uint32_t width, std::uint32_t height,
                                      std::size_t bytes_per_row, std::uint32_t bitmap_info,
                                      ColorSpace space, std::vector<std::uint8_t> pixels) noexcept;
  [[nodiscard]] static RasterRef Copy(std::uint32_t width, std::uint32_t height,
                                      std::size_t bytes_per_row, std::uint32_t bitmap_info,
                                      ColorSpace space, const void* pixels) noexcept;
  [[nodiscard]] static RasterRef Wrap(std::uint32_t width, std::uint32_t height,
                                      std::size_t bytes_per_row, std::uint32_t bitmap_info,
                                      ColorSpace space, const void* pixels,
                                      std::function<void()> release) noexcept;

  // Bytes per pixel of a layout, or 0 when it is not accepted (PixelLayout::BytesPerPixel).
  [[nodiscard]] static unsigned BytesPerPixel(std::uint32_t bitmap_info, ColorSpace space) noexcept;

  Raster(const Raster&) = delete;
  Raster& operator=(const Raster&) = delete;
  ~Raster();

  // Pixels per row.
  [[nodiscard]] std::uint32_t width() const noexcept { return width_; }
  // Rows.
  [[nodiscard]] std::uint32_t height() const noexcept { return height_; }
  // Bytes from the start of one row to the next.
  [[nodiscard]] std::size_t bytes_per_row() const noexcept { return bytes_per_row_; }
  // Always 8: every component has 8 bits.
  [[nodiscard]] unsigned bits_per_component() const noexcept { return 8; }
  // 8 x the bytes per pixel of the layout.
  [[nodiscard]] unsigned bits_per_pixel() const noexcept { return bytes_per_pixel_ * 8; }
  // The bitmap-info word: alpha layout | byte order.
  [[nodiscard]] std::uint32_t bitmap_info() const noexcept { return bitmap_info_; }
  // The alpha layout of the bitmap-info word.
  [[nodiscard]] AlphaInfo alpha_info() const noexcept {
    return static_cast<AlphaInfo>(bitmap_info_ & kBitmapAlphaInfoMask);
  }
  // The colour space of the layout.
  [[nodiscard]] ColorSpace color_space() const noexcept { return space_; }
  // The first byte of the pixels (row 0), valid while the raster lives.
  [[nodiscard]] const std::uint8_t* data() const noexcept { return data_; }
  // The first byte of row `y`. REQUIRES: y < height().
  [[nodiscard]] const std::uint8_t* Row(std::uint32_t y) const noexcept {
    return data_ + y * bytes_per_row_;
  }
  // How the pixels lie, and the pixels as a view (valid while the raster lives).
  [[nodiscard]] PixelLayout layout() const noexcept {
    return {width_, height_, bytes_per_row_, bitmap_info_, space_};
  }
  // The pixels as a view, valid while the raster lives.
  [[nodiscard]] PixelView view() const noexcept { return {layout(), data_}; }

  // True for 0x2002 and 0x2006 in RGB: drawn without conversion.
  [[nodiscard]] bool IsWorkingFormat() const noexcept;
  // True when the layout has no alpha (none or skip).
  [[nodiscard]] bool IsOpaque() const noexcept;

  // Pixel (x, y), rows counted from the first, as premultiplied 0xAARRGGBB (grey spread over
  // red, green and blue). 0 outside the raster.
  [[nodiscard]] std::uint32_t PremultipliedPixel(std::uint32_t x, std::uint32_t y) const noexcept;

 private:
  Raster(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
         std::uint32_t bitmap_info, ColorSpace space, unsigned bytes_per_pixel);

  std::uint32_t width_;
  std::uint32_t height_;
  std::size_t bytes_per_row_;
  std::uint32_t bitmap_info_;
  ColorSpace space_;
  unsigned bytes_per_pixel_;
  const std::uint8_t* data_ = nullptr;
  std::vector<std::uint8_t> owned_;
  std::function<void()> release_;
};

// The raster in another layout and colour space, pixel for pixel (alpha premultiplied or
// divided out as the layouts ask; RGB to grey by luma 0.3/0.59/0.11; dropping alpha keeps the
// premultiplied colour, as if over black). Rows are packed (bytes per row = width x bytes per
// pixel, rounded up to 4). Null when the target layout is not accepted or memory runs out.
// A conversion for use outside hot paths.
[[nodiscard]] KELVANE_EXPORT RasterRef ConvertRaster(const Raster& raster,
                                                     std::uint32_t bitmap_info,
                                                     ColorSpace space) noexcept;

// `raster` itself when it is in the working format already, otherwise its conversion to
// 0x2002 (or 0x2006 when it has no alpha). Null for a null raster.
[[nodiscard]] KELVANE_EXPORT RasterRef InWorkingFormat(const RasterRef& raster) noexcept;

}  // namespace kelvane::platform
