#include "kelvane/platform/codecs/image_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

std::string Fixture(const std::string& name) {
  return std::string(KELVANE_TESTDATA_DIR) + "/images/" + name;
}

Data ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Data(std::istreambuf_iterator<char>(in), {});
}

// True when every channel of the two premultiplied pixels is within `tolerance`.
bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) >
        tolerance) {
      return false;
    }
  }
  return true;
}

TEST(ImageFile, ReadsEveryExifOrientationWithoutBakingItIn) {
  // Each file stores its raster turned another way; all show the same upright picture.
  const struct {
    int exif, orientation;
  } cases[] = {{1, 0}, {3, 1}, {8, 2}, {6, 3}, {2, 4}, {4, 5}, {5, 6}, {7, 7}};
  const std::uint32_t blocks[2][3] = {{0xFFFF0000, 0xFF00FF00, 0xFF0000FF},
                                      {0xFFFFFFFF, 0xFF000000, 0xFFFFFF00}};
  for (const auto& c : cases) {
    const std::string path = Fixture("orientation_" + std::to_string(c.exif) + ".jpg");
    EXPECT_EQ(ExifOrientation(ReadFile(path)), c.exif);
    EXPECT_EQ(OrientationFromExif(c.exif), c.orientation);
    const ImageRef image = LoadImage(path);
    ASSERT_NE(image, nullptr) << path;
    EXPECT_EQ(image->orientation(), c.orientation);
    EXPECT_EQ(image->size(), (Size{48, 32})) << path;
    const bool transposed = Image::IsTransposed(c.orientation);
    EXPECT_EQ(image->raster()->width(), transposed ? 32u : 48u);  // stored as it came
    const RasterRef upright = UprightRaster(*image);
    ASSERT_NE(upright, nullptr);
    for (int row = 0; row < 2; ++row) {
      for (int column = 0; column < 3; ++column) {
        EXPECT_TRUE(Near(upright->PremultipliedPixel(column * 16 + 8, row * 16 + 8),
                         blocks[row][column], 24))
            << path << " block " << row << ',' << column;
      }
    }
  }
  EXPECT_EQ(OrientationFromExif(0), 0);
  EXPECT_EQ(OrientationFromExif(9), 0);
}

TEST(ImageFile, DecodesPngColourTypesIntoTheWorkingFormat) {
  const RasterRef rgba16 = LoadImage(Fixture("rgba16.png"))->raster();
  EXPECT_EQ(rgba16->bitmap_info(), kWorkingBitmapInfo);
  EXPECT_EQ(rgba16->PremultipliedPixel(0, 0), 0xFFFF0000u);
  EXPECT_TRUE(Near(rgba16->PremultipliedPixel(1, 0), 0x80000080u, 1));
  const RasterRef palette = LoadImage(Fixture("palette.png"))->raster();
  EXPECT_EQ(palette->PremultipliedPixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(palette->PremultipliedPixel(1, 0), 0u);
  const RasterRef grey = LoadImage(Fixture("grey.png"))->raster();
  EXPECT_EQ(grey->bitmap_info(), kOpaqueWorkingBitmapInfo);
  EXPECT_EQ(grey->PremultipliedPixel(1, 0), 0xFFC8C8C8u);
}

TEST(ImageFile, RefusesBadTruncatedAndHugeFiles) {
  const Data jpeg = ReadFile(Fixture("orientation_1.jpg"));
  const Data png = ReadFile(Fixture("rgba16.png"));
  ASSERT_FALSE(jpeg.empty());
  for (std::size_t keep : {jpeg.size() / 2, jpeg.size() - 3, std::size_t{3}}) {
    EXPECT_EQ(LoadImage(std::span(jpeg.data(), keep)), nullptr) << keep;
  }
  for (std::size_t keep : {png.size() / 2, png.size() - 13, std::size_t{8}}) {
    EXPECT_EQ(LoadImage(std::span(png.data(), keep)), nullptr) << keep;
  }
  Data corrupt = png;
  corrupt[20] ^= 0x40;  // the header's checksum no longer matches
  EXPECT_EQ(LoadImage(corrupt), nullptr);
  EXPECT_EQ(LoadImage(Fixture("bomb.png")), nullptr);
  EXPECT_EQ(LoadImage(Fixture("bomb.jpg")), nullptr);
  EXPECT_EQ(LoadImage(Data{'G', 'I', 'F', '8', '9', 'a'}), nullptr);
  EXPECT_EQ(LoadImage(Fixture("missing.png")), nullptr);
  // A JPEG named .png is still read: the signature decides.
  testing::TempDir dir;
  const std::string misnamed = dir.Write("photo.png", std::string(jpeg.begin(), jpeg.end()));
  EXPECT_NE(LoadImage(misnamed), nullptr);
}

TEST(ImageFile, SavesUprightAndRoundTrips) {
  const ImageRef turned = LoadImage(Fixture("orientation_6.jpg"));
  ASSERT_NE(turned, nullptr);
  testing::TempDir dir;
  ASSERT_TRUE(SavePNG(*turned, dir.File("upright.png")));
  const ImageRef png = LoadImage(dir.File("upright.png"));
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->orientation(), 0);
  EXPECT_EQ(png->raster()->width(), 48u);
  // PNG keeps the pixels of the upright raster exactly.
  const RasterRef upright = UprightRaster(*turned);
  for (std::uint32_t x : {0u, 20u, 47u}) {
    EXPECT_EQ(png->raster()->PremultipliedPixel(x, 31), upright->PremultipliedPixel(x, 31));
  }
  ASSERT_TRUE(SaveJPEG(*turned, 0.9, dir.File("upright.jpg")));
  EXPECT_EQ(LoadImage(dir.File("upright.jpg"))->size(), (Size{48, 32}));
  EXPECT_FALSE(SavePNG(*turned, dir.File("no/such/folder.png")));
  EXPECT_FALSE(SavePNG(*Image::Make(nullptr), dir.File("empty.png")));

  // Alpha survives PNG within the rounding of dividing it out.
  const RasterRef alpha =
      Raster::Make(2, 1, 8, kWorkingBitmapInfo, ColorSpace::kRGB, {0, 0, 0, 0, 10, 20, 100, 200});
  const auto bytes = EncodePNG(*alpha);
  ASSERT_TRUE(bytes);
  const RasterRef back = DecodePNG(*bytes);
  EXPECT_EQ(back->PremultipliedPixel(0, 0), 0u);
  EXPECT_TRUE(Near(back->PremultipliedPixel(1, 0), alpha->PremultipliedPixel(1, 0), 1));

  const std::pair<double, int> qualities[] = {{0.0, 1},   {0.004, 1}, {0.5, 50}, {0.8, 80},
                                              {1.0, 100}, {7.0, 100}, {-1, 1},   {NAN, 1}};
  for (const auto& [quality, expected] : qualities) EXPECT_EQ(JPEGQuality(quality), expected);
}

}  // namespace
}  // namespace kelvane::platform
