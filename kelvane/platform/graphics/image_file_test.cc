// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/image_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/picture_files.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

using testing::FileBytes;
using testing::FixturePath;

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

// Why the read was refused, or nothing when it was not.
template <typename T>
std::optional<ErrorKind> Refusal(const Result<T>& read) {
  if (read.ok()) return std::nullopt;
  return read.error().kind;
}

// ---- generated hostile inputs ----------------------------------------------------------------

// A PNG of one row of `depth`-bit grey samples (`row` without its filter byte), with `chunks`
// between the header and the image data.
Data GreyPNG(std::uint32_t width, std::uint8_t depth, const Data& row,
             const std::vector<std::pair<std::string, Data>>& chunks = {}) {
  Data filtered = {0};
  filtered.insert(filtered.end(), row.begin(), row.end());
  return testing::PngFile(width, 1, {depth, 0, 0, 0, 0}, testing::Deflated(filtered), chunks);
}

// A progressive grey JPEG of side x side pixels whose coefficients are all 0 (flat grey 0x80):
// a DC scan, then `ac_scans` scans of one coefficient each, first at the coarsest bit and then
// refined bit by bit, as an encoder may write them. Each AC scan is one run of empty blocks.
// REQUIRES: (side / 8)^2 is a power of two up to 2^14.
Data ProgressiveJPEG(std::uint32_t side, int ac_scans) {
  const std::uint32_t blocks = (side / 8) * (side / 8);
  const int run_bits = std::countr_zero(blocks);
  Data jpeg = {0xFF, 0xD8};
  const auto segment = [&jpeg](std::uint8_t marker, const Data& data) {
    jpeg.insert(jpeg.end(), {0xFF, marker, std::uint8_t((data.size() + 2) >> 8),
                             std::uint8_t(data.size() + 2)});
    jpeg.insert(jpeg.end(), data.begin(), data.end());
  };
  // Coded bits, padded with ones to a whole byte.
  const auto bits = [](int zeros) {
    Data out((zeros + 7) / 8, 0);
    if (zeros % 8 != 0) out.back() = std::uint8_t(0xFF >> (zeros % 8));
    return out;
  };
  Data table(65, 1);  // quantisation table 0, all ones
  table[0] = 0;
  segment(0xDB, table);
  segment(0xC2, {8, std::uint8_t(side >> 8), std::uint8_t(side), std::uint8_t(side >> 8),
                 std::uint8_t(side), 1, 1, 0x11, 0});
  Data one_code(16, 0);  // a single code, 0, of length 1
  one_code[0] = 1;
  Data dc = {0x00}, ac = {0x10};
  dc.insert(dc.end(), one_code.begin(), one_code.end());
  ac.insert(ac.end(), one_code.begin(), one_code.end());
  dc.push_back(0);                            // difference 0
  ac.push_back(std::uint8_t(run_bits << 4));  // a run of 2^run_bits empty blocks
  segment(0xC4, dc);
  segment(0xC4, ac);
  segment(0xDA, {1, 1, 0x00, 0, 0, 0x00});
  Data dc_data = bits(static_cast<int>(blocks));  // one 0 bit a block
  jpeg.insert(jpeg.end(), dc_data.begin(), dc_data.end());
  const Data run = bits(1 + run_bits);
  int written = 0;
  for (int k = 1; k <= 63 && written < ac_scans; ++k) {
    for (int low = 13; low >= 0 && written < ac_scans; --low, ++written) {
      const int high = low == 13 ? 0 : low + 1;
      segment(0xDA, {1, 1, 0x00, std::uint8_t(k), std::uint8_t(k), std::uint8_t(high << 4 | low)});
      jpeg.insert(jpeg.end(), run.begin(), run.end());
    }
  }
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

// Hostile loads run in a child under these limits, so that a broken bound stops the child
// rather than the machine.
constexpr testing::ChildLimits kHostileLimits{.memory_bytes = 512u << 20, .seconds = 10};

// A 1 x 1 picture under 150 text chunks that inflate to 7.9 MB each (1.2 GB in all, 1.2 MB of
// file): the picture loads and the text costs nothing.
[[maybe_unused]] const bool kTextBomb = testing::ChildProcess("png-text-bomb", [] {
  const Data text = testing::Deflated(Data(7'900'000, 'a'));
  Data ztxt = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
  ztxt.insert(ztxt.end(), text.begin(), text.end());
  Data itxt = {'X', 'M', 'L', 0, 1, 0, 0, 0};  // compressed, no language, no translation
  itxt.insert(itxt.end(), text.begin(), text.end());
  std::vector<std::pair<std::string, Data>> chunks;
  for (int i = 0; i < 75; ++i) {
    chunks.emplace_back("zTXt", ztxt);
    chunks.emplace_back("iTXt", itxt);
  }
  const ImageRef image = LoadImage(GreyPNG(1, 8, {0x80}, chunks));
  if (image == nullptr) return 1;
  return image->raster()->PremultipliedPixel(0, 0) == 0xFF808080u ? 0 : 2;
});

// A 1 x 1 picture whose image data inflates to 1 GB (about 4 MB of file): the pixel is read, the
// rest costs no memory and bounded time.
[[maybe_unused]] const bool kDataBomb = testing::ChildProcess("png-data-bomb", [] {
  const Data png =
      testing::PngFile(1, 1, {8, 0, 0, 0, 0}, testing::DeflatedZeros(std::uint64_t{1} << 30));
  const Result<ImageRef> image = ReadImage(png);
  return image.ok() || image.error().kind == ErrorKind::kMalformed ? 0 : 1;
});

// 1 + 882 scans of a 1024 x 1024 picture in 13 KB: refused before decoding.
[[maybe_unused]] const bool kScanFlood = testing::ChildProcess("jpeg-scan-flood", [] {
  return Refusal(ReadImage(ProgressiveJPEG(1024, 63 * 14))) == ErrorKind::kTooLarge ? 0 : 1;
});

// A named pipe with no writer: opening it to read would wait for ever.
[[maybe_unused]] const bool kPipe = testing::ChildProcess("image-file-pipe", [] {
  const char* path = std::getenv("KELVANE_TEST_PIPE");
  if (path == nullptr) return 3;
  if (LoadImage(std::string(path)) != nullptr) return 1;
  return Refusal(ReadImageFile(path)) == ErrorKind::kNotRegularFile ? 0 : 2;
});

// A 64 x 64 grey PNG whose image data inflates to 1 GB of zeros (about 4 MB of file): the
// rows of the picture, then far more. The streamed read takes the rows it needs and stops.
[[maybe_unused]] const bool kReducedDataBomb = testing::ChildProcess("png-data-bomb-reduced", [] {
  const Data png =
      testing::PngFile(64, 64, {8, 0, 0, 0, 0}, testing::DeflatedZeros(std::uint64_t{1} << 30));
  const Result<ImageRef> image = ReadImage(png, {8, 8});
  if (!image.ok()) return image.error().kind == ErrorKind::kMalformed ? 0 : 1;
  return image.value()->raster()->PremultipliedPixel(3, 3) == 0xFF000000u ? 0 : 2;
});

// Headers claiming more pixels than the limit are refused before any is made, also when the
// picture is to be read small or only measured: the limit is on the declared picture.
[[maybe_unused]] const bool kBombs = testing::ChildProcess("image-bombs", [] {
  int status = 0;
  for (const char* name : {"bomb.png", "bomb.jpg"}) {
    ++status;
    const std::string path = testing::FixturePath(name);
    if (LoadImage(path) != nullptr) return status;
    if (Refusal(ReadImageFile(path, {64, 64, ReadFit::kCover})) != ErrorKind::kTooLarge) {
      return status + 10;
    }
    if (Refusal(ReadImageSize(testing::FileBytes(path))) != ErrorKind::kTooLarge) {
      return status + 20;
    }
  }
  return 0;
});

TEST(ImageFile, TextAndImageDataInflatingFarPastThePictureAreBounded) {
  for (const char* child : {"png-text-bomb", "png-data-bomb", "png-data-bomb-reduced"}) {
    SCOPED_TRACE(child);
    const testing::ChildOutcome outcome = testing::RunLimitedChild(child, kHostileLimits);
    EXPECT_EQ(outcome.status, 0);
    // The file and its making take a few megabytes; keeping the text or the inflated data
    // took the whole limit.
    EXPECT_LT(outcome.peak_rss_bytes, std::uint64_t{200} << 20);
  }
}

TEST(ImageFile, RefusesMoreScansThanTheLimit) {
  EXPECT_EQ(testing::RunLimitedChild("jpeg-scan-flood", kHostileLimits).status, 0);
  // Up to the limit a progressive file loads; one scan more is refused.
  const RasterRef at_limit = DecodeJPEG(ProgressiveJPEG(128, kMaxJPEGScans - 1));
  ASSERT_NE(at_limit, nullptr);
  EXPECT_EQ(at_limit->width(), 128u);
  EXPECT_EQ(at_limit->PremultipliedPixel(77, 33), 0xFF808080u);
  EXPECT_EQ(DecodeJPEG(ProgressiveJPEG(128, kMaxJPEGScans)), nullptr);
}

TEST(ImageFile, ReadsRegularFilesOnly) {
  testing::TempDir dir;
  const std::string pipe = dir.File("pipe.png");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  testing::ScopedEnvironment environment({{"KELVANE_TEST_PIPE", pipe.c_str()}});
  EXPECT_EQ(testing::RunLimitedChild("image-file-pipe", {.seconds = 5}).status, 0);
  EXPECT_EQ(Refusal(ReadImageFile(dir.path().string())), ErrorKind::kNotRegularFile);
  EXPECT_EQ(Refusal(ReadImageFile(dir.File("missing.png"))), ErrorKind::kMissing);
}

TEST(ImageFile, PngSamplesAreSRGBUnlessTheFileSaysOtherwise) {
  const Data linear_gamma = {0, 1, 0x86, 0xA0};  // gAMA 1.0: the samples are linear light
  const Data srgb_gamma = {0, 0, 0xB1, 0x8F};    // gAMA 1 / 2.2
  const struct {
    const char* name;
    std::uint8_t depth;
    Data row;
    std::vector<std::pair<std::string, Data>> chunks;
    std::uint32_t grey;
    int tolerance;
  } kCases[] = {
      {"16-bit, nothing said", 16, {0x80, 0x80}, {}, 0x80, 0},
      {"16-bit, sRGB", 16, {0x80, 0x80}, {{"sRGB", {0}}}, 0x80, 0},
      {"16-bit, gamma 1/2.2", 16, {0x80, 0x80}, {{"gAMA", srgb_gamma}}, 0x80, 0},
      // Linear light re-encoded: 0.502 is 0xBA under a 2.2 power, 0xBC under the sRGB curve.
      {"16-bit, linear", 16, {0x80, 0x80}, {{"gAMA", linear_gamma}}, 0xBB, 1},
      {"8-bit, linear", 8, {0x80}, {{"gAMA", linear_gamma}}, 0xBB, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const RasterRef raster = DecodePNG(GreyPNG(1, c.depth, c.row, c.chunks));
    ASSERT_NE(raster, nullptr);
    EXPECT_TRUE(
        Near(raster->PremultipliedPixel(0, 0), 0xFF000000u | c.grey * 0x010101u, c.tolerance))
        << std::hex << raster->PremultipliedPixel(0, 0);
  }
}

TEST(ImageFile, ReadsEveryExifOrientationWithoutBakingItIn) {
  // Each file stores its raster turned another way; all show the same upright picture.
  const struct {
    int exif, orientation;
  } cases[] = {{1, 0}, {3, 1}, {8, 2}, {6, 3}, {2, 4}, {4, 5}, {5, 6}, {7, 7}};
  const std::uint32_t blocks[2][3] = {{0xFFFF0000, 0xFF00FF00, 0xFF0000FF},
                                      {0xFFFFFFFF, 0xFF000000, 0xFFFFFF00}};
  for (const auto& c : cases) {
    const std::string path = FixturePath("orientation_" + std::to_string(c.exif) + ".jpg");
    const ImageRef image = LoadImage(path);
    ASSERT_NE(image, nullptr) << path;
    EXPECT_EQ(image->orientation(), c.orientation);
    EXPECT_EQ(image->size(), (Size{48, 32})) << path;
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

  // The data cut right after the APP1 segment: its EXIF block, ending exactly at the end, is
  // read; one byte shorter, the segment is incomplete and nothing is read.
  const Data six = testing::WithExifSegment({0xFF, 0xD8}, 6);
  EXPECT_EQ(ExifOrientation(six), 6);
  EXPECT_EQ(ExifOrientation(std::span(six.data(), six.size() - 1)), 0);
  // A value outside 1..8 reads as none.
  EXPECT_EQ(ExifOrientation(testing::WithExifSegment({0xFF, 0xD8}, 9)), 0);
}

TEST(ImageFile, DecodesPngColourTypesIntoTheWorkingFormat) {
  const RasterRef rgba16 = LoadImage(FixturePath("rgba16.png"))->raster();
  EXPECT_EQ(rgba16->PremultipliedPixel(0, 0), 0xFFFF0000u);
  EXPECT_TRUE(Near(rgba16->PremultipliedPixel(1, 0), 0x80000080u, 1));
  // A transparency chunk past the first entry.
  EXPECT_EQ(testing::PremultipliedPixels(*LoadImage(FixturePath("palette.png"))->raster()),
            (std::vector<std::uint32_t>{0xFF00FF00u, 0u}));
  // 8-bit grey samples read as libpng reads them (png_test); here, in the opaque layout.
  EXPECT_EQ(LoadImage(FixturePath("grey.png"))->raster()->bitmap_info(), kOpaqueWorkingBitmapInfo);
}

TEST(ImageFile, RefusesBadTruncatedAndHugeFiles) {
  const Data jpeg = FileBytes(FixturePath("orientation_1.jpg"));
  const Data png = FileBytes(FixturePath("rgba16.png"));
  ASSERT_FALSE(jpeg.empty());
  for (std::size_t keep : {jpeg.size() / 2, jpeg.size() - 3, std::size_t{3}}) {
    EXPECT_EQ(LoadImage(std::span(jpeg.data(), keep)), nullptr) << keep;
  }
  for (std::size_t keep : {png.size() / 2, png.size() - 13, std::size_t{8}}) {
    EXPECT_EQ(LoadImage(std::span(png.data(), keep)), nullptr) << keep;
  }
  // Cut to their signatures, they are still told apart: refused as damaged, not as unknown.
  EXPECT_TRUE(IsJPEG(std::span(jpeg.data(), 3)));
  EXPECT_TRUE(IsPNG(std::span(png.data(), 8)));
  Data corrupt = png;
  corrupt[20] ^= 0x40;  // the header's checksum no longer matches
  EXPECT_EQ(LoadImage(corrupt), nullptr);
  // 1: the PNG bomb loaded; 2: the JPEG bomb; 11, 12: read small, not refused for its size;
  // 21, 22: measured; 128 and more: killed at a limit.
  EXPECT_EQ(testing::RunLimitedChild("image-bombs", kHostileLimits).status, 0);
  EXPECT_EQ(LoadImage(Data{'G', 'I', 'F', '8', '9', 'a'}), nullptr);
  // The reason names what is wrong: a file that ends before its frame header is damaged (not a
  // 0 x 0 picture over the limit), wherever it is cut; a well-formed 12-bit file is unsupported.
  Data twelve_bit = jpeg;
  const std::uint8_t baseline_frame[] = {0xFF, 0xC0};
  const auto frame = std::search(twelve_bit.begin(), twelve_bit.end(), std::begin(baseline_frame),
                                 std::end(baseline_frame));
  ASSERT_NE(frame, twelve_bit.end());
  const std::size_t header_end = static_cast<std::size_t>(frame - twelve_bit.begin());
  frame[4] = 12;
  const struct {
    const char* name;
    Data bytes;
    ErrorKind kind;
  } refusals[] = {
      {"start and end of image", Data{0xFF, 0xD8, 0xFF, 0xD9}, ErrorKind::kMalformed},
      {"cut before the frame header", Data(jpeg.begin(), jpeg.begin() + header_end),
       ErrorKind::kMalformed},
      {"12-bit samples", twelve_bit, ErrorKind::kUnsupported},
  };
  for (const auto& row : refusals) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Refusal(ReadJPEG(row.bytes)), row.kind);
    // Read reduced, the same refusal.
    EXPECT_EQ(Refusal(ReadJPEG(row.bytes, PixelSize{8, 8})), row.kind);
  }
  // A JPEG named .png is still read: the signature decides.
  testing::TempDir dir;
  const std::string misnamed = dir.Write("photo.png", std::string(jpeg.begin(), jpeg.end()));
  EXPECT_NE(LoadImage(misnamed), nullptr);
}

TEST(ImageFile, SavesUprightAndRoundTrips) {
  const ImageRef turned = LoadImage(FixturePath("orientation_6.jpg"));
  ASSERT_NE(turned, nullptr);
  testing::TempDir dir;
  ASSERT_TRUE(SavePNG(*turned, dir.File("upright.png")));
  const ImageRef png = LoadImage(dir.File("upright.png"));
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->orientation(), 0);
  // PNG keeps the pixels of the upright raster exactly.
  const RasterRef upright = UprightRaster(*turned);
  for (std::uint32_t x : {0u, 20u, 47u}) {
    EXPECT_EQ(png->raster()->PremultipliedPixel(x, 31), upright->PremultipliedPixel(x, 31));
  }
  ASSERT_TRUE(SaveJPEG(*turned, 0.9, dir.File("upright.jpg")));
  EXPECT_EQ(LoadImage(dir.File("upright.jpg"))->size(), (Size{48, 32}));
  EXPECT_FALSE(SavePNG(*turned, dir.File("no/such/folder.png")));
  EXPECT_FALSE(SavePNG(*Image::Make(nullptr), dir.File("empty.png")));

  // Between whole percents the nearest wins, and a half goes up.
  const std::pair<double, int> qualities[] = {{0.004, 1}, {1.0, 100},  {7.0, 100},  {-1, 1},
                                              {NAN, 1},   {0.504, 50}, {0.994, 99}, {0.125, 13}};
  for (const auto& [quality, expected] : qualities) EXPECT_EQ(JPEGQuality(quality), expected);
}

// ---- reading pictures for a target size (ReadSize, ReadImageSize, the option forms) ----------

TEST(ReadSize, FitsCoversRoundsAndNeverEnlarges) {
  const struct {
    const char* name;
    std::uint32_t width, height;
    ReadOptions options;
    PixelSize expected;
  } kCases[] = {
      {"inside, the width sets the scale", 6000, 4000, {256, 256}, {256, 171}},
      {"cover, the height sets the scale", 6000, 4000, {384, 384, ReadFit::kCover}, {576, 384}},
      {"inside, a wide target", 6000, 4000, {3000, 1000}, {1500, 1000}},
      {"cover, a wide target", 6000, 4000, {3000, 1000, ReadFit::kCover}, {3000, 2000}},
      {"width alone", 6000, 4000, {1000, 0}, {1000, 667}},
      {"height alone, cover alike", 6000, 4000, {0, 1000, ReadFit::kCover}, {1500, 1000}},
      {"upright picture, height alone", 3024, 4032, {0, 100}, {75, 100}},
      {"no side given", 6000, 4000, {}, {6000, 4000}},
      {"picture within the target", 100, 50, {200, 200}, {100, 50}},
      {"picture exactly the target", 100, 50, {100, 0}, {100, 50}},
      {"cover, one side already short", 100, 50, {80, 60, ReadFit::kCover}, {100, 50}},
      {"a half rounds upward", 10, 5, {3, 0}, {3, 2}},
      {"below a half rounds down", 1000, 1166, {3, 0}, {3, 3}},
      {"a thin picture keeps one pixel", 10000, 10, {100, 100}, {100, 1}},
      {"one pixel across", 1, 5000, {0, 50}, {1, 50}},
      {"an empty picture as it is", 0, 40, {10, 10}, {0, 40}},
      {"an unknown fit: inside", 6000, 4000, {256, 256, static_cast<ReadFit>(7)}, {256, 171}},
      {"largest sides", 0xFFFFFFFF, 0xFFFFFFFE, {2, 2}, {2, 2}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadSize(c.width, c.height, c.options), c.expected);
  }
}

// The stored raster averaged down to `size` as it is stored: what reading it whole and then
// reducing it gives.
RasterRef ReducedWhole(const Raster& stored, PixelSize size) {
  const PixelLayout layout =
      PixelLayout::Working(size.width, size.height, size.width * 4, stored.IsOpaque());
  std::vector<std::uint8_t> reduced(layout.ByteCount());
  EXPECT_TRUE(ResampleOriented(stored.view(), {layout, reduced.data()}, kOrientationUp));
  return Raster::Make(layout, std::move(reduced));
}

// The largest difference of any byte of two rasters of the same layout.
int LargestDifference(const Raster& a, const Raster& b) {
  int largest = 0;
  for (std::uint32_t y = 0; y < a.height(); ++y) {
    for (std::size_t i = 0; i < std::size_t{a.width()} * 4; ++i) {
      largest = std::max(largest, std::abs(int(a.Row(y)[i]) - int(b.Row(y)[i])));
    }
  }
  return largest;
}

TEST(ReadImage, ReadsTheTargetSizeNearReadingWholeThenReducing) {
  // 203 x 157: no factor 1/2, 1/4 or 1/8 divides the sides.
  const RasterRef opaque = testing::TestPicture(203, 157, false);
  const RasterRef translucent = testing::TestPicture(203, 157, true);
  const RasterRef smooth = testing::TestPicture(203, 157, false, false);
  ASSERT_THAT((std::vector{opaque, translucent, smooth}), ::testing::Each(::testing::NotNull()));
  // Smooth, as a photo is: at a sharp edge the decoder's reduced transforms and averaging
  // part by up to a sixth of the range.
  const Data jpeg = *EncodeJPEG(*smooth, 0.95);
  const struct {
    const char* name;
    Data bytes;
    int tolerance;  // largest difference of a byte from reading whole then reducing
  } kFiles[] = {
      // PNG rows are averaged as the whole picture would be: exactly the same pixels.
      {"PNG, opaque", *EncodePNG(*opaque), 0},
      {"PNG, alpha", *EncodePNG(*translucent), 0},
      {"PNG, interlaced", testing::InterlacedPNG(*translucent), 0},
      // The decoder's own reduced transforms differ a little from averaging: up to 6 levels.
      {"JPEG", jpeg, 6},
      {"JPEG, turned right (EXIF 6)", testing::WithExifSegment(jpeg, 6), 6},
      {"JPEG, turned 180 (EXIF 3)", testing::WithExifSegment(jpeg, 3), 6},
      {"JPEG, left mirrored (EXIF 5)", testing::WithExifSegment(jpeg, 5), 6},
  };
  const ReadOptions kTargets[] = {
      {50, 50},                   // JPEG at 1/2 (102 x 79), then averaged
      {24, 0},                    // 1/8 (26 x 20)
      {0, 40, ReadFit::kCover},   // 1/2 or 1/4 depending on the orientation
      {30, 30, ReadFit::kCover},  // 1/4
      {1, 1},                     // the least
      {150, 150},                 // whole, then averaged
      {1000, 1000},               // larger than the picture: read whole
  };
  for (const auto& file : kFiles) {
    SCOPED_TRACE(file.name);
    const Result<ImageRef> whole = ReadImage(file.bytes);
    ASSERT_TRUE(whole.ok()) << whole.error().message;
    const Image& reference = **whole;
    const RasterRef stored = reference.raster();
    const bool transposed = Image::IsTransposed(reference.orientation());
    const PixelSize displayed = transposed ? PixelSize{stored->height(), stored->width()}
                                           : PixelSize{stored->width(), stored->height()};
    EXPECT_EQ(ReadImageSize(file.bytes).ToOptional(), displayed);
    for (const ReadOptions& target : kTargets) {
      SCOPED_TRACE(std::to_string(target.width) + " x " + std::to_string(target.height));
      const PixelSize size = ReadSize(displayed.width, displayed.height, target);
      const Result<ImageRef> read = ReadImage(file.bytes, target);
      ASSERT_TRUE(read.ok()) << read.error().message;
      const Image& image = **read;
      EXPECT_EQ(image.orientation(), reference.orientation());
      EXPECT_EQ(image.scale(), 1.0);
      EXPECT_EQ(image.size(), (Size{double(size.width), double(size.height)}));
      const PixelSize raster{image.raster()->width(), image.raster()->height()};
      const PixelSize stored_size = transposed ? PixelSize{size.height, size.width} : size;
      EXPECT_EQ(raster, stored_size);
      EXPECT_EQ(image.raster()->bitmap_info(), stored->bitmap_info());
      EXPECT_LE(LargestDifference(*image.raster(), *ReducedWhole(*stored, raster)), file.tolerance);
    }
  }
}

TEST(ReadImage, AtSizeReducesEachSideOnItsOwn) {
  const RasterRef translucent = testing::TestPicture(203, 157, true);
  const Data png = *EncodePNG(*translucent);
  // Turned right: displayed 157 x 203.
  const Data jpeg =
      testing::WithExifSegment(*EncodeJPEG(*testing::TestPicture(203, 157, false, false), 0.95), 6);
  const struct {
    const char* name;
    PixelSize asked, displayed;
  } kCases[] = {
      {"both sides, another aspect", {50, 7}, {50, 7}},
      {"a side of 0 reads as 1", {0, 10}, {1, 10}},
      {"never enlarged", {5000, 5}, {157, 5}},
      {"the whole picture", {157, 203}, {157, 203}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Result<ImageRef> from_jpeg = ReadImageAtSize(jpeg, c.asked);
    ASSERT_TRUE(from_jpeg.ok()) << from_jpeg.error().message;
    EXPECT_EQ(from_jpeg.value()->orientation(), kOrientationRight);
    EXPECT_EQ(from_jpeg.value()->size(),
              (Size{double(c.displayed.width), double(c.displayed.height)}));
    // The PNG is upright, 203 x 157: the same sides asked the other way round, and its pixels
    // are exactly those of the whole picture reduced.
    const PixelSize asked{c.asked.height, c.asked.width},
        got{c.displayed.height, c.displayed.width};
    const Result<ImageRef> from_png = ReadImageAtSize(png, asked);
    ASSERT_TRUE(from_png.ok()) << from_png.error().message;
    const RasterRef raster = from_png.value()->raster();
    EXPECT_EQ((PixelSize{raster->width(), raster->height()}), got);
    EXPECT_EQ(LargestDifference(*raster, *ReducedWhole(*translucent, got)), 0);
  }
}

TEST(ReadImage, OptionsWithoutASideAreThePlainReadAndFilesReadAlike) {
  const Data png = *EncodePNG(*testing::TestPicture(64, 48, true));
  const Result<ImageRef> plain = ReadImage(png, ReadOptions{});
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(plain.value()->size(), (Size{64, 48}));
  testing::TempDir dir;
  const std::string path = dir.Write("p.png", std::string(png.begin(), png.end()));
  const Result<ImageRef> from_file = ReadImageFile(path, {16, 16, ReadFit::kCover});
  ASSERT_TRUE(from_file.ok());
  EXPECT_EQ(from_file.value()->size(), (Size{21, 16}));
  EXPECT_EQ(Refusal(ReadImageFile(dir.File("none.png"), {16, 16})), ErrorKind::kMissing);
  // No picture at all, and a GIF cut after its signature: the other formats' reasons.
  EXPECT_EQ(Refusal(ReadImage(Data{'n', 'o', 't', 'e', 's'}, {16, 16})), ErrorKind::kUnsupported);
  EXPECT_EQ(Refusal(ReadImage(Data{'G', 'I', 'F', '8', '9', 'a'}, {16, 16})),
            ErrorKind::kMalformed);
  // Cut short, the reduced reads refuse the file as the whole read does.
  const Data jpeg = *EncodeJPEG(*testing::TestPicture(64, 48, false), 0.9);
  for (const Data* bytes : {&png, &jpeg}) {
    EXPECT_EQ(Refusal(ReadImage(std::span(bytes->data(), bytes->size() - 20), {8, 8})),
              ErrorKind::kMalformed);
  }
}

}  // namespace
}  // namespace kelvane::platform
