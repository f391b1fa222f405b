// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/png.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/picture_files.h"

namespace kelvane::platform {
namespace {

constexpr unsigned kChannels[7] = {1, 0, 3, 0, 2, 0, 4};

using testing::RandomBytes;

// An 8-bit PNG of `samples` (rows of width x channels bytes), row y filtered by filter y % 5,
// the stream cut into image data chunks of `piece` bytes. `edit` may change the filtered rows.
Data FilteredPNG(std::uint32_t width, std::uint32_t height, int type, const Data& samples,
                 std::size_t piece, void (*edit)(Data&) = nullptr) {
  const std::size_t bpp = kChannels[type], row = width * bpp;
  Data filtered;
  for (std::uint32_t y = 0; y < height; ++y) {
    const int filter = static_cast<int>(y % 5);
    filtered.push_back(static_cast<std::uint8_t>(filter));
    for (std::size_t i = 0; i < row; ++i) {
      const int x = samples[y * row + i];
      const int a = i >= bpp ? samples[y * row + i - bpp] : 0;
      const int b = y > 0 ? samples[(y - 1) * row + i] : 0;
      const int c = y > 0 && i >= bpp ? samples[(y - 1) * row + i - bpp] : 0;
      const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
      const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      const int predicted[5] = {0, a, b, (a + b) / 2, paeth};
      filtered.push_back(static_cast<std::uint8_t>(x - predicted[filter]));
    }
  }
  if (edit != nullptr) edit(filtered);
  return testing::PngFile(width, height, {8, std::uint8_t(type), 0, 0, 0},
                          testing::Deflated(filtered), {{"tEXt", {'k', 0, 'v'}}}, piece);
}

// The file as libpng's simplified reader sees it: unpremultiplied R, G, B, A rows.
Data ReadWithLibpng(const Data& file) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
  image.format = PNG_FORMAT_RGBA;
  Data out(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) return {};
  return out;
}

// Unpremultiplied R, G, B, A of a raster, for comparing with libpng's.
constexpr auto Unpremultiplied = &testing::StraightRGBA;

TEST(Png, ReadsEveryFilterAndColourTypeAsLibpngDoes) {
  for (int type : {0, 2, 4, 6}) {
    for (std::size_t piece : {std::size_t{7}, std::size_t{1} << 20}) {
      SCOPED_TRACE("colour type " + std::to_string(type) + ", chunks of " + std::to_string(piece));
      const std::uint32_t width = 9, height = 11;
      Data samples = RandomBytes(width * height * kChannels[type], type);
      // Every other row in a narrow range, where the Paeth predictor's ties are common.
      for (std::size_t i = 0; i < samples.size(); ++i) {
        if (i / (width * kChannels[type]) % 2 == 0) samples[i] &= 3;
      }
      const Data file = FilteredPNG(width, height, type, samples, piece);
      const Result<RasterRef> ours = ReadPNG(file);
      ASSERT_TRUE(ours.ok()) << ours.error().message;
      EXPECT_EQ((*ours)->IsOpaque(), type == 0 || type == 2);
      const Data reference = ReadWithLibpng(file);
      ASSERT_FALSE(reference.empty());
      // Premultiplied storage loses what alpha hides: compare both through it.
      const RasterRef back =
          Raster::Make(PixelLayout{width, height, width * 4, 0x0003, ColorSpace::kRGB}, reference);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(Unpremultiplied(**ours), Unpremultiplied(*back));
    }
  }
}

TEST(Png, RefusesDamagedImageDataAsMalformed) {
  const Data samples = RandomBytes(5 * 4 * 3, 1);
  const Data good = FilteredPNG(5, 4, 2, samples, 9);
  Data bad_checksum = good;
  bad_checksum[bad_checksum.size() - 16] ^= 1;  // the last image data chunk's checksum
  const struct {
    const char* name;
    Data file;
  } kCases[] = {
      {"a filter type that does not exist",
       FilteredPNG(5, 4, 2, samples, 9, [](Data& rows) { rows[16] = 5; })},
      {"a row short",
       FilteredPNG(5, 4, 2, samples, 9, [](Data& rows) { rows.resize(rows.size() - 16); })},
      {"a checksum that does not match", bad_checksum},
      {"cut inside the last image data chunk", Data(good.begin(), good.end() - 20)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Result<RasterRef> read = ReadPNG(c.file);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().kind, ErrorKind::kMalformed);
  }
}

// A one-row palette PNG of `depth` bits a sample holding the packed `row`, with a palette of
// transparent grey and opaque red and a transparency chunk for the first entry only.
Data PalettePNG(std::uint8_t depth, std::uint32_t width, const Data& row) {
  Data filtered(1 + row.size(), 0);  // filter type 0 (none), then the row
  std::copy(row.begin(), row.end(), filtered.begin() + 1);
  return testing::PngFile(width, 1, {depth, 3, 0, 0, 0}, testing::Deflated(filtered),
                          {{"PLTE", {0x80, 0x80, 0x80, 0xFF, 0x00, 0x00}}, {"tRNS", {0x00}}});
}

TEST(Png, ReadsIndicesPastThePaletteAsOpaqueBlack) {
  const struct {
    std::uint8_t depth;
    Data row;  // indices 0, 1, then two past the two entries of the palette
  } kCases[] = {
      {8, {0, 1, 2, 255}},
      {2, {0b00'01'10'11}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE("depth " + std::to_string(c.depth));
    const Result<RasterRef> read = ReadPNG(PalettePNG(c.depth, 4, c.row));
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(testing::PremultipliedPixels(**read),
              (std::vector<std::uint32_t>{0, 0xFFFF0000, 0xFF000000, 0xFF000000}));
  }
}

TEST(Png, WritesWhatLibpngAndOurReaderReadBackExactly) {
  const struct {
    std::uint32_t info;
    ColorSpace space;
    unsigned bytes;
  } kLayouts[] = {
      {0, ColorSpace::kGrey, 1},
      {0, ColorSpace::kRGB, 3},
      {kOpaqueWorkingBitmapInfo, ColorSpace::kRGB, 4},
      {kWorkingBitmapInfo, ColorSpace::kRGB, 4},
  };
  for (const auto& layout : kLayouts) {
    for (const auto& [width, height] : {std::pair{1u, 1u}, {3u, 7u}, {61u, 5u}}) {
      SCOPED_TRACE(std::to_string(layout.info) + " in " +
                   std::to_string(static_cast<int>(layout.space)) + ", " + std::to_string(width) +
                   " x " + std::to_string(height));
      const std::size_t row = (width * layout.bytes + 3) / 4 * 4;
      Data pixels = RandomBytes(row * height, width * 31 + layout.info);
      if (layout.info == kWorkingBitmapInfo) {
        for (std::size_t i = 0; i + 4 <= pixels.size(); i += 4) {
          for (int c = 0; c < 3; ++c) pixels[i + c] = std::min(pixels[i + c], pixels[i + 3]);
        }
      }
      const RasterRef raster =
          Raster::Make(PixelLayout{width, height, row, layout.info, layout.space}, pixels);
      ASSERT_NE(raster, nullptr);
      const Result<Data> file = TryEncodePNG(*raster);
      ASSERT_TRUE(file.ok()) << file.error().message;
      EXPECT_EQ(ReadWithLibpng(*file), Unpremultiplied(*raster));
      const RasterRef back = DecodePNG(*file);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(Unpremultiplied(*back), Unpremultiplied(*raster));
    }
  }
}

TEST(Png, WritesTheSameBytesOnOneThreadAndOnMany) {
  const std::uint32_t width = 1500, height = 400;  // over a megabyte a band on two threads
  const RasterRef raster = Raster::Make(PixelLayout::Working(width, height, width * 4, false),
                                        RandomBytes(std::size_t{width} * 4 * height, 7));
  ASSERT_NE(raster, nullptr);
  const std::optional<Data> spread = EncodePNG(*raster);
  ASSERT_TRUE(spread.has_value());
  const KeepOnThisThread keep;
  EXPECT_EQ(EncodePNG(*raster), spread);
}

// The encoder's rows need as much memory again as the picture: with no room left for them it
// says so, in a child whose address space ends just above what the picture holds. 2 and 3: the
// picture or the limit could not be set up.
int EncodesWithoutRoomChild() {
  const std::uint32_t side = 4096;  // 64 MiB of pixels, 48 MiB of filtered rows
  const RasterRef raster = Raster::Make(PixelLayout::Working(side, side, side * 4, true),
                                        Data(std::size_t{side} * side * 4, 0x80));
  if (raster == nullptr) return 2;
  std::uint64_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t room = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (16u << 20);
  const rlimit limit{room, room};
  if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) return 3;
  KeepOnThisThread keep;
  const Result<Data> file = TryEncodePNG(*raster);
  return !file.ok() && file.error() == Error{ErrorKind::kIo, "out of memory"} ? 0 : 1;
}
[[maybe_unused]] const bool kEncodesWithoutRoom =
    testing::ChildProcess("png-encode-without-room", EncodesWithoutRoomChild);

TEST(Png, EncoderSaysWhenMemoryRunsOut) {
  if (testing::kUnderSanitizer) GTEST_SKIP() << "the sanitizers' allocators ignore the limit";
  EXPECT_EQ(testing::RunChildProcess("png-encode-without-room"), 0);
}

}  // namespace
}  // namespace kelvane::platform
