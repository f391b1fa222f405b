// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/pixels/pixel_layout.h
//
// How a block of pixels lies in memory: its sides, the bytes from one row to the next, the
// pixel layout (a bitmap-info word in the platform's numbering) and the colour space. Rasters,
// bitmap contexts, the pixel kernels and the codecs all describe their pixels with one
// PixelLayout, and pass pixels they do not own as a view: a layout and a pointer.
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
// space is then ignored). The 32-bit byte orders only go with 4-byte pixels. Every component
// has 8 bits.
//
// Threads: plain values; views keep no pixels alive and are as safe to share as the memory
// they point at.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelvane/export.h"

namespace kelvane::platform {

// The alpha layout: the low 5 bits of a bitmap-info word.
enum class AlphaInfo : std::uint32_t {
  kNone = 0,                // no alpha
  kPremultipliedLast = 1,   // alpha after the colour, which is premultiplied by it
  kPremultipliedFirst = 2,  // alpha before the colour, which is premultiplied by it
  kLast = 3,                // alpha after the colour, which is not premultiplied
  kFirst = 4,               // alpha before the colour, which is not premultiplied
  kNoneSkipLast = 5,        // an unused byte after the colour
  kNoneSkipFirst = 6,       // an unused byte before the colour
  kOnly = 7,                // alpha and no colour
};

// The alpha layout's bits of a bitmap-info word.
inline constexpr std::uint32_t kBitmapAlphaInfoMask = 0x1F;
// The byte order's bits of a bitmap-info word.
inline constexpr std::uint32_t kBitmapByteOrderMask = 0x7000;
// Bytes in memory in the order the alpha layout names them.
inline constexpr std::uint32_t kBitmapByteOrderDefault = 0;
// Each 32-bit pixel a little-endian word: its bytes in memory in reverse order.
inline constexpr std::uint32_t kBitmapByteOrder32Little = 2u << 12;
// Each 32-bit pixel a big-endian word: the same as the default order.
inline constexpr std::uint32_t kBitmapByteOrder32Big = 4u << 12;
// Premultiplied B, G, R, A in memory: the working format.
inline constexpr std::uint32_t kWorkingBitmapInfo = 0x2002;
// B, G, R and an unused byte in memory: the working format of opaque pictures.
inline constexpr std::uint32_t kOpaqueWorkingBitmapInfo = 0x2006;

// The colour components of a pixel.
enum class ColorSpace {
  kGrey,  // one grey component
  kRGB,   // red, green and blue
};

// The largest byte count (and row) a block of pixels may have: a signed 32-bit count.
inline constexpr std::size_t kMaxRasterBytes = 0x7FFFFFFF;

// A picture's sides in whole pixels (the image files' reading sizes, graphics/image_file.h, and
// the decoders' reduced reads, codecs/).
struct PixelSize {
  std::uint32_t width = 0;   // pixels across
  std::uint32_t height = 0;  // pixels down
  // Equal when both sides are equal.
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// How a block of pixels lies in memory.
struct KELVANE_EXPORT PixelLayout {
  std::uint32_t width = 0;                         // pixels per row
  std::uint32_t height = 0;                        // rows
  std::size_t bytes_per_row = 0;                   // from the start of one row to the next
  std::uint32_t bitmap_info = kWorkingBitmapInfo;  // alpha layout | byte order
  ColorSpace space = ColorSpace::kRGB;             // the colour components

  // width x height pixels of `bitmap_info` in `space`, rows packed: the row's pixel bytes
  // rounded up to 4 (0 when the layout is not accepted).
  [[nodiscard]] static PixelLayout Packed(std::uint32_t width, std::uint32_t height,
                                          std::uint32_t bitmap_info, ColorSpace space) noexcept;
  // The working format (0x2002, or 0x2006 when `opaque`) in RGB, rows of `bytes_per_row`.
  [[nodiscard]] static constexpr PixelLayout Working(std::uint32_t width, std::uint32_t height,
                                                     std::size_t bytes_per_row,
                                                     bool opaque = false) noexcept {
    return {width, height, bytes_per_row, opaque ? kOpaqueWorkingBitmapInfo : kWorkingBitmapInfo,
            ColorSpace::kRGB};
  }

  // Bytes per pixel of the layout in the colour space, or 0 when it is not accepted.
  [[nodiscard]] static unsigned BytesPerPixel(std::uint32_t bitmap_info, ColorSpace space) noexcept;
  [[nodiscard]] unsigned BytesPerPixel() const noexcept {
    return BytesPerPixel(bitmap_info, space);
  }

  // True when pixels can lie this way: an accepted layout, both sides at least 1, rows that
  // hold their pixels, and rows and the whole block within kMaxRasterBytes.
  [[nodiscard]] bool IsValid() const noexcept;
  // bytes_per_row x height. REQUIRES: IsValid() (the product cannot overflow then).
  [[nodiscard]] std::size_t ByteCount() const noexcept { return bytes_per_row * height; }

  // The alpha layout of bitmap_info.
  [[nodiscard]] AlphaInfo alpha_info() const noexcept {
    return static_cast<AlphaInfo>(bitmap_info & kBitmapAlphaInfoMask);
  }
  // True for 0x2002 and 0x2006 in RGB: drawn without conversion.
  [[nodiscard]] bool IsWorkingFormat() const noexcept {
    return space == ColorSpace::kRGB &&
           (bitmap_info == kWorkingBitmapInfo || bitmap_info == kOpaqueWorkingBitmapInfo);
  }
  // True when the layout has no alpha (none or skip).
  [[nodiscard]] bool IsOpaque() const noexcept {
    const AlphaInfo alpha = alpha_info();
    return alpha == AlphaInfo::kNone || alpha == AlphaInfo::kNoneSkipFirst ||
           alpha == AlphaInfo::kNoneSkipLast;
  }
  // True when both lay pixels out alike: the same bitmap info and colour space.
  [[nodiscard]] bool SameFormat(const PixelLayout& other) const noexcept {
    return bitmap_info == other.bitmap_info && space == other.space;
  }

  // Equal when every field is equal.
  friend bool operator==(const PixelLayout&, const PixelLayout&) = default;
};

// Pixels that are only read, owned by someone else. Row y starts at data + y x bytes_per_row.
struct PixelView {
  PixelLayout layout;          // how the pixels lie
  const void* data = nullptr;  // the first byte of row 0

  // The first byte of row `y`. REQUIRES: y < layout.height.
  [[nodiscard]] const std::uint8_t* Row(std::size_t y) const noexcept {
    return static_cast<const std::uint8_t*>(data) + y * layout.bytes_per_row;
  }
};

// Pixels that may be written, owned by someone else.
struct MutablePixelView {
  PixelLayout layout;    // how the pixels lie
  void* data = nullptr;  // the first byte of row 0

  // The first byte of row `y`. REQUIRES: y < layout.height.
  [[nodiscard]] std::uint8_t* Row(std::size_t y) const noexcept {
    return static_cast<std::uint8_t*>(data) + y * layout.bytes_per_row;
  }
  // Writable pixels can always be read.
  operator PixelView() const noexcept { return {layout, data}; }
};

}  // namespace kelvane::platform
