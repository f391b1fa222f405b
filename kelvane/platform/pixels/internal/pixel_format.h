// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/pixels/internal/pixel_format.h
//
// Reading and writing single pixels of any accepted raster layout as premultiplied RGBA, for
// the conversions between layouts. Not for hot paths: a conversion costs a few branches per
// pixel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelvane/platform/pixels/pixel_layout.h"

namespace kelvane::platform::internal {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;  // premultiplied
};

inline std::uint8_t Premultiply(unsigned v, unsigned a) {
  return static_cast<std::uint8_t>((v * a + 127) / 255);
}
inline std::uint8_t Unpremultiply(unsigned v, unsigned a) {
  if (a == 0) return 0;
  const unsigned x = (v * 255 + a / 2) / a;
  return static_cast<std::uint8_t>(x > 255 ? 255 : x);
}
inline std::uint8_t Luma(unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint8_t>((r * 77 + g * 151 + b * 28 + 128) >> 8);
}

class PixelFormat {
 public:
  explicit PixelFormat(const PixelLayout& layout) : PixelFormat(layout.bitmap_info, layout.space) {}
  PixelFormat(std::uint32_t info, ColorSpace space) {
    bytes_ = PixelLayout::BytesPerPixel(info, space);
    const std::uint32_t alpha = info & kBitmapAlphaInfoMask;
    alpha_only_ = alpha == 7;
    grey_ = space == ColorSpace::kGrey && !alpha_only_;
    has_alpha_ = alpha >= 1 && alpha <= 4;
    premultiplied_ = alpha == 1 || alpha == 2;
    const bool first = alpha == 2 || alpha == 4 || alpha == 6;
    // Logical positions: the channel order the layout names.
    int logical[4] = {0, 1, 2, 3};  // r, g, b, a (or w, -, -, a for grey)
    if (bytes_ == 4) {
      if (first) {
        logical[0] = 1, logical[1] = 2, logical[2] = 3, logical[3] = 0;
      }
      if ((info & kBitmapByteOrderMask) == kBitmapByteOrder32Little) {
        for (int& p : logical) p = 3 - p;
      }
    } else if (bytes_ == 2) {
      logical[0] = first ? 1 : 0;
      logical[3] = first ? 0 : 1;
    }
    for (int i = 0; i < 4; ++i) at_[i] = logical[i];
  }

  [[nodiscard]] unsigned bytes() const { return bytes_; }

  [[nodiscard]] Rgba Read(const std::uint8_t* p) const {
    Rgba c;
    if (alpha_only_) {
      c.a = p[0];
      return c;
    }
    if (grey_) {
      c.r = c.g = c.b = p[at_[0]];
    } else {
      c.r = p[at_[0]], c.g = p[at_[1]], c.b = p[at_[2]];
    }
    c.a = has_alpha_ ? p[at_[3]] : 255;
    if (has_alpha_ && !premultiplied_) {
      c.r = Premultiply(c.r, c.a), c.g = Premultiply(c.g, c.a), c.b = Premultiply(c.b, c.a);
    }
    return c;
  }

  void Write(std::uint8_t* p, Rgba c) const {
    if (alpha_only_) {
      p[0] = c.a;
      return;
    }
    if (has_alpha_ && !premultiplied_) {
      c.r = Unpremultiply(c.r, c.a), c.g = Unpremultiply(c.g, c.a), c.b = Unpremultiply(c.b, c.a);
    }
    if (grey_) {
      p[at_[0]] = Luma(c.r, c.g, c.b);
    } else {
      p[at_[0]] = c.r, p[at_[1]] = c.g, p[at_[2]] = c.b;
    }
    if (bytes_ == 4 || (grey_ && bytes_ == 2)) p[at_[3]] = has_alpha_ ? c.a : 255;
  }

 private:
  unsigned bytes_ = 0;
  bool alpha_only_ = false;
  bool grey_ = false;
  bool has_alpha_ = false;
  bool premultiplied_ = false;
  int at_[4] = {0, 1, 2, 3};
};

// Converts the pixels of `from` into `to`, over the sides of `from`. REQUIRES: `to` is at least
// as wide and as tall.
inline void ConvertRows(const PixelView& from, const MutablePixelView& to) {
  const PixelFormat in(from.layout), out(to.layout);
  for (std::uint32_t y = 0; y < from.layout.height; ++y) {
    const std::uint8_t* s = from.Row(y);
    std::uint8_t* d = to.Row(y);
    for (std::uint32_t x = 0; x < from.layout.width; ++x, s += in.bytes(), d += out.bytes()) {
      out.Write(d, in.Read(s));
    }
  }
}

}  // namespace kelvane::platform::internal
