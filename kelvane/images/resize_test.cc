#include "kelvane/images/resize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "kelvane/images/internal/resize_routes.h"
#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/graphics/context.h"

namespace kelvane::Resize {
namespace {

using namespace platform;

// Opaque, distinct colours for the letters a..f (0xAARRGGBB).
std::uint32_t Colour(char letter) { return 0xFF000000u | (letter - 'a' + 1) * 0x251A0Fu; }

// A raster of `rows` ("abc/def") in `info`, RGB, 4 bytes per pixel.
RasterRef LetterRaster(const std::string& rows, std::uint32_t info) {
  const std::size_t width = rows.find('/'), height = (rows.size() + 1) / (width + 1);
  std::vector<std::uint8_t> bytes;
  for (char c : rows) {
    if (c == '/') continue;
    const std::uint32_t p = Colour(c);
    const std::uint8_t r = p >> 16, g = p >> 8, b = p;
    if (info == kWorkingBitmapInfo) {
      bytes.insert(bytes.end(), {b, g, r, 255});
    } else {
      bytes.insert(bytes.end(), {r, g, b, 255});  // alpha last
    }
  }
  return Raster::Make(width, height, width * 4, info, ColorSpace::kRGB, std::move(bytes));
}

// The letters of a raster's pixels ('?' for other colours), rows joined by '/'.
std::string Letters(const Raster& raster) {
  std::string out;
  for (std::uint32_t y = 0; y < raster.height(); ++y) {
    if (y > 0) out += '/';
    for (std::uint32_t x = 0; x < raster.width(); ++x) {
      char letter = '?';
      for (char c = 'a'; c <= 'f'; ++c) {
        if (raster.PremultipliedPixel(x, y) == Colour(c)) letter = c;
      }
      out += letter;
    }
  }
  return out;
}

TEST(Resize, EveryOrientationComesOutUprightPixelForPixel) {
  // The stored raster "abc/def" shown upright for each orientation.
  const char* const kShown[8] = {"abc/def", "fed/cba", "cf/be/ad", "da/eb/fc",
                                 "cba/fed", "def/abc", "ad/be/cf", "fc/eb/da"};
  // The working format takes the averaging route, alpha last the drawing route.
  for (const std::uint32_t info : {kWorkingBitmapInfo, 3u}) {
    for (int o = 0; o < 8; ++o) {
      SCOPED_TRACE(testing::Message() << "layout " << info << ", orientation " << o);
      const ImageRef image = Image::Make(LetterRaster("abc/def", info), 2.0, o);
      const Size pixels = sizeInPixels(*image);
      const ImageRef upright = resizedImage(*image, pixels, kInterpolationNone);
      ASSERT_NE(upright, nullptr);
      EXPECT_EQ(upright->orientation(), kOrientationUp);
      EXPECT_EQ(upright->scale(), 2.0);
      EXPECT_EQ(Letters(*upright->raster()), kShown[o]);
      EXPECT_EQ(upright->raster()->bitmap_info(), info == 3u ? 1u : 2u);
      const Rect drawn = Image::IsTransposed(o) ? Rect(0, 0, pixels.height, pixels.width)
                                                : Rect(0, 0, pixels.width, pixels.height);
      EXPECT_EQ(internal::OrientationOfDrawing(transformForOrientation(*image, pixels), drawn, 3, 2,
                                               pixels.width, pixels.height),
                o);
    }
  }
}

// A smooth picture: gradients, with a red marker at the first stored pixel.
RasterRef Smooth(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> bytes(std::size_t{width} * 4 * height), wave(width + height);
  for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = 128 + 100 * std::sin(i / 40.0);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = &bytes[(std::size_t{y} * width + x) * 4];
      p[0] = static_cast<std::uint8_t>(255 * x / width);
      p[1] = static_cast<std::uint8_t>(255 * y / height);
      p[2] = wave[x + y];
      p[3] = 255;
    }
  }
  bytes[0] = bytes[1] = 0, bytes[2] = 255;
  return Raster::Make(width, height, width * 4, kWorkingBitmapInfo, ColorSpace::kRGB,
                      std::move(bytes));
}

TEST(Resize, TurnedPictureKeepsItsSidesAndBothRoutesAgree) {
  // Stored 400 x 300 under orientation 3: shown 300 x 400, the first stored pixel top right.
  const ImageRef image = Image::Make(Smooth(400, 300), 1.0, kOrientationRight);
  const ImageRef same = resizedImage(*image, {300, 400}, kInterpolationHigh);
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(same->raster()->width(), 300u);
  EXPECT_EQ(same->raster()->height(), 400u);
  EXPECT_EQ(same->raster()->PremultipliedPixel(299, 0), 0xFFFF0000u);

  // Reduced to 120 x 160: the averaging route and the engine's drawing give the same picture.
  const AffineTransform t = transformForOrientation(*image, {120, 160});
  const RasterRef averaged = internal::ReduceOriented(*image->raster(), 3, 120, 160, 2);
  const RasterRef drawn =
      internal::DrawResized(*image->raster(), 120, 160, 2, t, {0, 0, 160, 120}, kInterpolationHigh);
  ASSERT_NE(averaged, nullptr);
  ASSERT_NE(drawn, nullptr);
  int worst = 0;
  for (std::uint32_t y = 2; y < 158; ++y) {  // the marker's corner aside
    for (std::uint32_t x = 0; x < 118; ++x) {
      const std::uint32_t a = averaged->PremultipliedPixel(x, y),
                          b = drawn->PremultipliedPixel(x, y);
      for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
      }
    }
  }
  EXPECT_LE(worst, 4);
}

TEST(Resize, SizesRoundOutwardsAndFollowTheContentMode) {
  const ImageRef wide = Image::Make(Smooth(200, 100), 1.0, kOrientationUp);
  auto sides = [](const ImageRef& image) {
    return image ? Size{double(image->raster()->width()), double(image->raster()->height())}
                 : Size{-1, -1};
  };
  EXPECT_EQ(sides(resizedImageWithContentMode(*wide, 1, {100, 100}, 0)), (Size{100, 50}));
  for (std::int64_t mode : {0, 2, 7, -1}) {
    EXPECT_EQ(sides(resizedImageWithContentMode(*wide, mode, {100, 100}, 0)), (Size{200, 100}));
  }
  EXPECT_EQ(sides(resizedImageWithRatio(*wide, 0.25, 3)), (Size{50, 25}));
  EXPECT_EQ(sides(resizedImage(*wide, {10.2, 10.7}, 0)), (Size{11, 11}));
  EXPECT_EQ(sides(resizedImage(*wide, {400, 150}, 2)), (Size{400, 150}));  // enlarged by drawing
  // No bitmap: empty, non-finite or absurd sizes, an image without pixels.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (Size bad : {Size{0, 10}, Size{nan, 10}, Size{10, INFINITY}, Size{1e12, 10}}) {
    EXPECT_EQ(resizedImage(*wide, bad, 0), nullptr) << bad.width << " x " << bad.height;
  }
  EXPECT_EQ(resizedImageWithContentMode(*Image::Make(nullptr), 1, {10, 10}, 0), nullptr);
}

TEST(Resize, LayoutsAreMappedOrRefused) {
  // Alpha last, not premultiplied, becomes premultiplied last: half-covered red reads 128, 0,
  // 0, 128 in memory.
  const RasterRef last = Raster::Make(1, 1, 4, 3, ColorSpace::kRGB, {255, 0, 0, 128});
  const ImageRef mapped = resizedImage(*Image::Make(last), {1, 1}, 0);
  ASSERT_NE(mapped, nullptr);
  EXPECT_EQ(mapped->raster()->bitmap_info(), 1u);
  EXPECT_EQ(std::vector<std::uint8_t>(mapped->raster()->data(), mapped->raster()->data() + 4),
            (std::vector<std::uint8_t>{128, 0, 0, 128}));
  // RGB without alpha or skip byte, and grey with alpha, make no bitmap.
  EXPECT_EQ(resizedImage(*Image::Make(Raster::Make(1, 1, 4, 0, ColorSpace::kRGB, {1, 2, 3, 0})),
                         {1, 1}, 0),
            nullptr);
  EXPECT_EQ(
      resizedImage(*Image::Make(Raster::Make(1, 1, 2, 3, ColorSpace::kGrey, {9, 9})), {1, 1}, 0),
      nullptr);
  // 16 bits per component are reduced to 8 when loaded: opaque red and half-covered blue.
  const ImageRef rgba16 = LoadImage(std::string(KELVANE_TESTDATA_DIR) + "/images/rgba16.png");
  ASSERT_NE(rgba16, nullptr);
  const ImageRef one = resizedImage(*rgba16, {1, 1}, 3);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->raster()->bits_per_component(), 8u);
  EXPECT_EQ(one->raster()->PremultipliedPixel(0, 0), 0xC0800040u);
}

TEST(Resize, JPEGKeepsTheLongerSideWithinTheLimit) {
  struct Case {
    std::uint32_t width, height;
    double scale;
    int orientation;
    double limit;
    Size adjusted;
    std::uint32_t jpeg_width, jpeg_height;
  };
  const Case kCases[] = {
      {3000, 2000, 1, 0, 1000, {1000, 666}, 1000, 666},
      {3000, 2000, 2, 0, 1000, {500, 333}, 1000, 666},
      {3000, 2000, 1, 3, 1000, {666, 1000}, 666, 1000},  // shown upright
      {300, 200, 1, 0, 300, {300, 200}, 300, 200},       // a limit equal to the side
      {300, 200, 2, 0, 5000, {150, 100}, 300, 200},      // never enlarged
      {130, 100, 1.3, 0, 65, {50, 38}, 65, 50},          // 49.4 pixels: drawn, rounded up
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at " << c.scale);
    const ImageRef image = Image::Make(Smooth(c.width, c.height), c.scale, c.orientation);
    Size adjusted;
    const auto data = compressToJPEG(*image, 0.7, c.limit, &adjusted);
    EXPECT_EQ(adjusted, c.adjusted);
    ASSERT_TRUE(data.has_value());
    const RasterRef decoded = DecodeJPEG(*data);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->width(), c.jpeg_width);
    EXPECT_EQ(decoded->height(), c.jpeg_height);
  }
  const ImageRef image = Image::Make(Smooth(30, 20));
  EXPECT_TRUE(compressToJPEG(*image, 0.5, 10, nullptr).has_value());
  // A limit that cannot be kept gives no data (not the whole picture) and a zero size.
  for (double limit : {0.0, -100.0, std::numeric_limits<double>::quiet_NaN()}) {
    Size adjusted{7, 7};
    EXPECT_FALSE(compressToJPEG(*image, 0.5, limit, &adjusted).has_value()) << limit;
    EXPECT_EQ(adjusted, (Size{0, 0}));
  }
  Size adjusted{7, 7};
  EXPECT_FALSE(compressToJPEG(*Image::Make(nullptr), 0.5, 100, &adjusted).has_value());
  EXPECT_EQ(adjusted, (Size{0, 0}));
}

}  // namespace
}  // namespace kelvane::Resize
