// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/processing.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <vector>

namespace kelvane::Processing {
namespace {

using namespace platform;

// 2 x 2, working format (B, G, R, A): opaque red, half-covered white / opaque green, clear.
ImageRef Square() {
  return Image::Make(
      Raster::Make(2, 2, 8, kWorkingBitmapInfo, ColorSpace::kRGB,
                   {0, 0, 255, 255, 128, 128, 128, 128, 0, 255, 0, 255, 0, 0, 0, 0}));
}

TEST(Processing, ColorInPixelTruncatesAndTestsUpperBoundsOnly) {
  const ImageRef image = Square();
  const ColorRef red = Create::ColorForRGB(0xFF0000), grey = Create::ColorForRGB(0x808080);
  struct Case {
    Point point;
    ColorRef expected;
  };
  // clang-format off
  const Case kCases[] = {
      {{0, 0}, red}, {{1, 0}, grey}, {{1.9, 0}, grey},  // truncated to pixel 1
      {{0.5, 0.9}, Create::ColorForRGB(0x00FF00)},      // index 0.5 + 1.8 = 2.3 -> 2, not 0
      {{-1, 0}, red}, {{-5, 1}, red}, {{0, -0.2}, red},  // negative sums: pixel 0
      {{2, 0}, nullptr}, {{0, 2}, nullptr}, {{1.5, 1.5}, nullptr}};  // 4.5: past the end
  // clang-format on
  for (const Case& c : kCases) {
    // The same cached colour object, opaque whatever the pixel's alpha.
    EXPECT_EQ(colorInPixel(*image, c.point), c.expected) << c.point.x << ", " << c.point.y;
  }
}

TEST(Processing, CreateBitmapAppendsPremultipliedARGB) {
  TArray<Pixel> pixels;
  ASSERT_TRUE(pixels.Add(Pixel{1, 2, 3, 4}));
  Size size;
  createBitmap(*Square(), &pixels, &size);
  EXPECT_EQ(size, (Size{2, 2}));
  ASSERT_EQ(pixels.Count(), 5u);
  const std::vector<std::uint8_t> bytes(static_cast<const std::uint8_t*>(pixels.Data()),
                                        static_cast<const std::uint8_t*>(pixels.Data()) + 20);
  // clang-format off
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3, 4,  255, 255, 0, 0,  128, 128, 128, 128,
                                              255, 0, 255, 0,  0, 0, 0, 0}));
  // clang-format on
}

TEST(Processing, RefusesBuffersBeyondASigned32BitCount) {
  // Address space only: no page of it is touched.
  const std::size_t bytes = 600'000'000;
  void* memory =
      ::mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  // 30000 x 20000 grey: rows of 120000 bytes, a buffer of 2.4e9.
  const RasterRef tall = Raster::Wrap(30000, 20000, 30000, 0, ColorSpace::kGrey, memory, [] {});
  ASSERT_NE(tall, nullptr);
  EXPECT_EQ(CreateARGBBitmapContextFromImage(*tall), nullptr);
  TArray<Pixel> pixels;
  Size size{3, 3};
  createBitmap(*Image::Make(tall), &pixels, &size);
  EXPECT_EQ(pixels.Count(), 0u);
  EXPECT_EQ(size, (Size{3, 3}));  // untouched
  ::munmap(memory, bytes);
}

}  // namespace
}  // namespace kelvane::Processing
