// SPDX-License-Identifier: Apache-2.0
// Reading pictures for a target size (image_file.h: ReadSize, ReadImageSize, the option forms).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/picture_files.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

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
      {"an unknown fit reads as inside",
       6000,
       4000,
       {256, 256, static_cast<ReadFit>(7)},
       {256, 171}},
      {"largest sides", 0xFFFFFFFF, 0xFFFFFFFE, {2, 2}, {2, 2}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const PixelSize got = ReadSize(c.width, c.height, c.options);
    EXPECT_EQ(got.width, c.expected.width);
    EXPECT_EQ(got.height, c.expected.height);
  }
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
  ASSERT_NE(opaque, nullptr);
  ASSERT_NE(translucent, nullptr);
  ASSERT_NE(smooth, nullptr);
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
    const Result<PixelSize> probed = ReadImageSize(file.bytes);
    ASSERT_TRUE(probed.ok());
    EXPECT_EQ(*probed, displayed);
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
      // What reading whole and reducing as stored gives.
      const PixelLayout layout =
          PixelLayout::Working(raster.width, raster.height, raster.width * 4, stored->IsOpaque());
      std::vector<std::uint8_t> reduced(layout.ByteCount());
      ASSERT_TRUE(ResampleOriented(stored->view(), {layout, reduced.data()}, kOrientationUp));
      const RasterRef expected = Raster::Make(layout, std::move(reduced));
      EXPECT_LE(LargestDifference(*image.raster(), *expected), file.tolerance);
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
    const PixelLayout layout = PixelLayout::Working(got.width, got.height, got.width * 4);
    std::vector<std::uint8_t> reduced(layout.ByteCount());
    ASSERT_TRUE(ResampleOriented(translucent->view(), {layout, reduced.data()}, kOrientationUp));
    EXPECT_EQ(LargestDifference(*raster, *Raster::Make(layout, std::move(reduced))), 0);
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
  const Result<ImageRef> missing = ReadImageFile(dir.File("none.png"), {16, 16});
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().kind, ErrorKind::kMissing);
  // No picture at all, and a GIF cut after its signature: the other formats' reasons.
  const Result<ImageRef> other = ReadImage(Data{'n', 'o', 't', 'e', 's'}, {16, 16});
  ASSERT_FALSE(other.ok());
  EXPECT_EQ(other.error().kind, ErrorKind::kUnsupported);
  const Result<ImageRef> cut_gif = ReadImage(Data{'G', 'I', 'F', '8', '9', 'a'}, {16, 16});
  ASSERT_FALSE(cut_gif.ok());
  EXPECT_EQ(cut_gif.error().kind, ErrorKind::kMalformed);
  // Cut short, the reduced reads refuse the file as the whole read does.
  const Data jpeg = *EncodeJPEG(*testing::TestPicture(64, 48, false), 0.9);
  for (const Data* bytes : {&png, &jpeg}) {
    const Result<ImageRef> cut = ReadImage(std::span(bytes->data(), bytes->size() - 20), {8, 8});
    ASSERT_FALSE(cut.ok());
    EXPECT_EQ(cut.error().kind, ErrorKind::kMalformed);
  }
}

// A 64 x 64 grey PNG whose image data inflates to 1 GB of zeros (about 4 MB of file): the
// rows of the picture, then far more. The streamed read takes the rows it needs and stops.
[[maybe_unused]] const bool kReducedDataBomb = testing::ChildProcess("png-data-bomb-reduced", [] {
  const Data png =
      testing::PngFile(64, 64, {8, 0, 0, 0, 0}, testing::DeflatedZeros(std::uint64_t{1} << 30));
  const Result<ImageRef> image = ReadImage(png, {8, 8});
  if (!image.ok()) return image.error().kind == ErrorKind::kMalformed ? 0 : 1;
  return image.value()->raster()->PremultipliedPixel(3, 3) == 0xFF000000u ? 0 : 2;
});

TEST(ReadImage, StreamedRowsStopAtThePicture) {
  const testing::ChildOutcome outcome = testing::RunLimitedChild(
      "png-data-bomb-reduced", {.memory_bytes = 512u << 20, .seconds = 10});
  EXPECT_EQ(outcome.status, 0);
  // The file and its making take a few megabytes; inflating it all would take a gigabyte.
  EXPECT_LT(outcome.peak_rss_bytes, std::uint64_t{200} << 20);
}

// Headers claiming more pixels than the limit are refused before any is made, also when the
// picture is to be read small: the limit is on the declared picture, not the target.
[[maybe_unused]] const bool kReducedBombs = testing::ChildProcess("image-bombs-reduced", [] {
  int status = 0;
  for (const char* name : {"bomb.png", "bomb.jpg"}) {
    ++status;
    const std::string path = testing::FixturePath(name);
    const Result<ImageRef> image = ReadImageFile(path, {64, 64, ReadFit::kCover});
    if (image.ok() || image.error().kind != ErrorKind::kTooLarge) return status;
    const Result<PixelSize> size = ReadImageSize(testing::FileBytes(path));
    if (size.ok() || size.error().kind != ErrorKind::kTooLarge) return status + 10;
  }
  return 0;
});

TEST(ReadImage, ReducedReadsStillRefuseBombs) {
  const testing::ChildOutcome outcome =
      testing::RunLimitedChild("image-bombs-reduced", {.memory_bytes = 512u << 20, .seconds = 10});
  // 1 or 11: the PNG bomb was not refused for its size; 2 or 12: the JPEG bomb.
  EXPECT_EQ(outcome.status, 0);
}

}  // namespace
}  // namespace kelvane::platform
