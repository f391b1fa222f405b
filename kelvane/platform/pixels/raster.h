// kelvane/platform/pixels/raster.h
//
// An immutable block of pixels: width, height, bytes per row, 8 bits per component, a pixel
// layout named by a bitmap-info word in the platform's numbering, and a colour space (grey or
// RGB). Rows lie one after another from the first (the top of an upright picture).
//
// Bitmap info = alpha layout (low 5 bits) | byte order (bits 12-14):
//   alpha layout  0 none, 1 premultiplied last, 2 premultiplied first, 3 last, 4 first,
//                 5 none-skip-last, 6 none-skip-first, 7 alpha only;
//   byte order    0 default (bytes in memory in the order the layout names), 0x2000 32-bit
//                 little (each 32-bit pixel reversed), 0x4000 32-bit big (same as default).
// The working format 0x2002 (premultiplied first, 32-bit little, RGB) lies in memory as B, G,
// R, A: the drawing engine's own format on little-endian machines, drawn without a copy and
// expected by the effects. 0x2006 is its opaque form (B, G, R, unused).
//
// Layouts accepted: RGB with 3 bytes (none) or 4 bytes (every other layout but alpha only);
// grey with 1 byte (none) or 2 bytes (with alpha or skip); alpha only with 1 byte (the colour
// space is then ignored). The 32-bit byte orders only go with 4-byte pixels.
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

namespace kelvane::platform {

enum class AlphaInfo : std::uint32_t {
  kNone = 0,
  kPremultipliedLast = 1,
  kPremultipliedFirst = 2,
  kLast = 3,
  kFirst = 4,
  kNoneSkipLast = 5,
  kNoneSkipFirst = 6,
  kOnly = 7,
};

inline constexpr std::uint32_t kBitmapAlphaInfoMask = 0x1F;
inline constexpr std::uint32_t kBitmapByteOrderMask = 0x7000;
inline constexpr std::uint32_t kBitmapByteOrderDefault = 0;
inline constexpr std::uint32_t kBitmapByteOrder32Little = 2u << 12;
inline constexpr std::uint32_t kBitmapByteOrder32Big = 4u << 12;
// Premultiplied B, G, R, A in memory: the working format.
inline constexpr std::uint32_t kWorkingBitmapInfo = 0x2002;
// B, G, R and an unused byte in memory: the working format of opaque pictures.
inline constexpr std::uint32_t kOpaqueWorkingBitmapInfo = 0x2006;

enum class ColorSpace { kGrey, kRGB };

class Raster;
using RasterRef = std::shared_ptr<const Raster>;

// The largest byte count (and row) a raster may have: a signed 32-bit count.
inline constexpr std::size_t kMaxRasterBytes = 0x7FFFFFFF;

class KELVANE_EXPORT Raster {
 public:
  // A raster over `pixels`, which it takes. Null when the sides are 0, the layout is not
  // accepted, bytes_per_row is below the row's pixel bytes, the rows or the whole block pass
  // kMaxRasterBytes, or `pixels` holds fewer than bytes_per_row x height bytes.
  [[nodiscard]] static RasterRef Make(std::uint32_t width, std::uint32_t height,
                                      std::size_t bytes_per_row, std::uint32_t bitmap_info,
                                      ColorSpace space, std::vector<std::uint8_t> pixels) noexcept;

  // As Make() over a copy of bytes_per_row x height bytes at `pixels`.
  [[nodiscard]] static RasterRef Copy(std::uint32_t width, std::uint32_t height,
                                      std::size_t bytes_per_row, std::uint32_t bitmap_info,
                                      ColorSpace space, const void* pixels) noexcept;

  // As Make() over memory the raster does not copy: `release` runs once when the raster goes
  // (also when Wrap fails). REQUIRES: the memory stays unchanged until then.
  [[nodiscard]] static RasterRef Wrap(std::uint32_t width, std::uint32_t height,
                                      std::size_t bytes_per_row, std::uint32_t bitmap_info,
                                      ColorSpace space, const void* pixels,
                                      std::function<void()> release) noexcept;

  // Bytes per pixel of a layout, or 0 when it is not accepted.
  [[nodiscard]] static unsigned BytesPerPixel(std::uint32_t bitmap_info, ColorSpace space) noexcept;

  Raster(const Raster&) = delete;
  Raster& operator=(const Raster&) = delete;
  ~Raster();

  [[nodiscard]] std::uint32_t width() const noexcept { return width_; }
  [[nodiscard]] std::uint32_t height() const noexcept { return height_; }
  [[nodiscard]] std::size_t bytes_per_row() const noexcept { return bytes_per_row_; }
  [[nodiscard]] unsigned bits_per_component() const noexcept { return 8; }
  [[nodiscard]] unsigned bits_per_pixel() const noexcept { return bytes_per_pixel_ * 8; }
  [[nodiscard]] std::uint32_t bitmap_info() const noexcept { return bitmap_info_; }
  [[nodiscard]] AlphaInfo alpha_info() const noexcept {
    return static_cast<AlphaInfo>(bitmap_info_ & kBitmapAlphaInfoMask);
  }
  [[nodiscard]] ColorSpace color_space() const noexcept { return space_; }
  [[nodiscard]] const std::uint8_t* data() const noexcept { return data_; }
  [[nodiscard]] const std::uint8_t* Row(std::uint32_t y) const noexcept {
    return data_ + y * bytes_per_row_;
  }

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
