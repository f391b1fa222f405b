// SPDX-License-Identifier: Apache-2.0
// Pictures drawn smaller than their pixels are first averaged down by the library's resampler;
// the drawing engine's own filter over the full picture is the oracle they are held against.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane::platform {
namespace {

// A w x h picture in the working format: `photo` is smooth gradients with noise, as a camera
// gives; otherwise one-pixel lines and a transparent checkerboard, the worst case for any filter.
RasterRef TestPicture(std::uint32_t w, std::uint32_t h, bool photo) {
  std::vector<std::uint8_t> bytes(std::size_t{w} * h * 4);
  std::uint32_t seed = 12345;
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      std::uint8_t* p = &bytes[(std::size_t{y} * w + x) * 4];
      seed = seed * 1664525u + 1013904223u;
      if (photo) {
        const int noise = static_cast<int>(seed >> 27) - 16;
        p[0] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(x * 255 / w) + noise, 0, 255));
        p[1] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(y * 255 / h) + noise, 0, 255));
        p[2] = static_cast<std::uint8_t>((x + y) % 256);
        p[3] = 255;
      } else {
        const bool line = x % 7 == 0 || y % 5 == 0;
        const std::uint8_t a = ((x / 32 + y / 32) % 2 == 0) ? 255 : 96;
        const std::uint8_t v = line ? a : static_cast<std::uint8_t>(a / 4);
        p[0] = v;
        p[1] = static_cast<std::uint8_t>(line ? 0 : a / 2);
        p[2] = v;
        p[3] = a;
      }
    }
  }
  return Raster::Make(PixelLayout::Working(w, h, std::size_t{w} * 4, photo), std::move(bytes));
}

// The picture drawn by the engine alone into `rect` (pixels, origin top left) of a side x side
// surface, with the filter the library chose for reductions before it reduced them itself.
std::vector<std::uint8_t> EngineDrawing(const Raster& raster, const Rect& rect, int side) {
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side);
  cairo_surface_t* source = cairo_image_surface_create_for_data(
      const_cast<unsigned char*>(raster.data()),
      raster.IsOpaque() ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
      static_cast<int>(raster.width()), static_cast<int>(raster.height()),
      static_cast<int>(raster.bytes_per_row()));
  cairo_t* cr = cairo_create(target);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(source);
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, raster.width() / rect.width, raster.height() / rect.height);
  cairo_matrix_translate(&m, -rect.x, -rect.y);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_source(cr, pattern);
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr);
  cairo_surface_flush(target);
  const unsigned char* data = cairo_image_surface_get_data(target);
  const int stride = cairo_image_surface_get_stride(target);
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < side; ++y)
    pixels.insert(pixels.end(), data + y * stride, data + y * stride + side * 4);
  cairo_pattern_destroy(pattern);
  cairo_destroy(cr);
  cairo_surface_destroy(source);
  cairo_surface_destroy(target);
  return pixels;
}

std::vector<std::uint8_t> LibraryDrawing(const RasterRef& raster, const Rect& rect, int side) {
  auto context = GraphicsContext::MakeImageSurface({double(side), double(side)}, false, 1);
  context->SetInterpolationQuality(kInterpolationHigh);
  context->DrawImageInRect(*Image::Make(raster, 1, kOrientationUp), rect);
  const RasterRef drawn = context->CreateImage()->raster();
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < side; ++y) {
    pixels.insert(pixels.end(), drawn->Row(y), drawn->Row(y) + side * 4);
  }
  return pixels;
}

struct Difference {
  int largest = 0;
  double psnr = 0;
};

Difference Compare(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  Difference d;
  double squares = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int e = std::abs(int{a[i]} - int{b[i]});
    d.largest = std::max(d.largest, e);
    squares += double(e) * e;
  }
  const double mse = squares / double(a.size());
  d.psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
  return d;
}

TEST(ReducedDrawing, StaysCloseToTheEnginesOwnFilterOverTheWholePicture) {
  struct Case {
    const char* name;
    std::uint32_t width, height;
    bool photo;
    Rect rect;        // where the picture goes on a 384-pixel square
    double min_psnr;  // decibels, measured here
    int max_largest;  // the largest difference of one channel
  };
  const Case cases[] = {
      // An avatar's fill: a 3:2 photo cropped to a square, the rect past both sides.
      {"photo, fill", 1800, 1200, true, {-96, 0, 576, 384}, 60, 4},
      // Fractional placement and a reduction that no whole factor gives.
      {"photo, fit at a fraction", 1000, 700, true, {0.5, 57.25, 383.5, 268.45}, 42, 48},
      // Fine lines and alpha, reduced 5.3 times.
      {"lines and alpha", 2048, 2048, false, {0, 0, 384, 384}, 60, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RasterRef raster = TestPicture(c.width, c.height, c.photo);
    ASSERT_NE(raster, nullptr);
    const Difference d =
        Compare(LibraryDrawing(raster, c.rect, 384), EngineDrawing(*raster, c.rect, 384));
    EXPECT_GE(d.psnr, c.min_psnr) << "largest difference " << d.largest;
    EXPECT_LE(d.largest, c.max_largest) << "psnr " << d.psnr;
  }
}

TEST(ReducedDrawing, PicturesNotDrawnSmallerAreTheEnginesAlone) {
  // 1:1 and enlarged pictures, and the nearest-pixel quality, take no reduction: the pixels
  // are the engine's exactly.
  const RasterRef raster = TestPicture(96, 64, false);
  for (const Rect& rect : {Rect{10, 10, 96, 64}, Rect{0, 0, 300, 200}}) {
    SCOPED_TRACE(rect.width);
    EXPECT_EQ(Compare(LibraryDrawing(raster, rect, 384), EngineDrawing(*raster, rect, 384)).largest,
              0);
  }
}

}  // namespace
}  // namespace kelvane::platform
