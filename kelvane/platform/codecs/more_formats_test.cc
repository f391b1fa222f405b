// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/internal/more_formats.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "kelvane/platform/codecs/gif.h"
#include "kelvane/platform/codecs/heif.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/codecs/webp.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/pixels/internal/pixel_format.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/picture_files.h"

#if KELVANE_WITH_HEIF
#include <libheif/heif.h>
#endif

namespace kelvane::platform {
namespace {

using internal::DecodedPicture;
using internal::ReadMoreFormats;
using testing::ExifBlock;
using testing::GifFrame;

// A 32 x 16 picture of eight 8 x 8 blocks of one colour each (R, G, B, A, not premultiplied):
// different sides, so that a turn shows, and blocks, so that lossy codecs keep their middles.
struct Picture {
  std::uint32_t width = 32, height = 16;
  std::vector<std::uint8_t> rgba;  // rows of width x 4 bytes
};

constexpr std::uint32_t kColours[8] = {0xDC1E1E, 0x1EC83C, 0x283CD2, 0xE6DC28,
                                       0x808080, 0xFAFAFA, 0x0A0A0A, 0xC828B4};

// `alphas` per block; with `alphas` null every block is opaque.
Picture Blocks(const std::uint8_t* alphas = nullptr) {
  Picture picture;
  picture.rgba.resize(std::size_t(picture.width) * picture.height * 4);
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    for (std::uint32_t x = 0; x < picture.width; ++x) {
      const int block = int(y / 8) * 4 + int(x / 8);
      std::uint8_t* p = &picture.rgba[(std::size_t(y) * picture.width + x) * 4];
      p[0] = std::uint8_t(kColours[block] >> 16);
      p[1] = std::uint8_t(kColours[block] >> 8);
      p[2] = std::uint8_t(kColours[block]);
      p[3] = alphas != nullptr ? alphas[block] : 255;
    }
  }
  return picture;
}

// `picture` repeated `times` across; the blocks' edges stay at multiples of 8.
Picture Across(const Picture& picture, std::uint32_t times) {
  Picture wide;
  wide.width = picture.width * times;
  wide.height = picture.height;
  const std::size_t row = std::size_t(picture.width) * 4;
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    for (std::uint32_t t = 0; t < times; ++t) {
      const auto from = picture.rgba.begin() + std::ptrdiff_t(y * row);
      wide.rgba.insert(wide.rgba.end(), from, from + std::ptrdiff_t(row));
    }
  }
  return wide;
}

// A clear width x height canvas with `picture` at (x, y), cut off at the canvas's edges.
Picture Placed(const Picture& picture, std::uint32_t width, std::uint32_t height, std::uint32_t x,
               std::uint32_t y) {
  Picture canvas{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4, 0)};
  for (std::uint32_t row = y; row < std::min(height, y + picture.height); ++row) {
    const std::size_t count = std::min(width - x, picture.width) * 4;
    std::memcpy(&canvas.rgba[(std::size_t{row} * width + x) * 4],
                &picture.rgba[std::size_t{row - y} * picture.width * 4], count);
  }
  return canvas;
}

constexpr std::uint8_t kAlphas[8] = {255, 0, 128, 255, 64, 255, 200, 255};

// Where displayed pixel (x, y) of a w x h display comes from in the stored picture, for the
// EXIF orientations the HEIF rows write as the format's own transformations.
struct Position {
  std::uint32_t x, y;
};
Position StoredPosition(int exif, std::uint32_t w, std::uint32_t h, std::uint32_t x,
                        std::uint32_t y) {
  switch (exif) {
    case 2:  // mirrored left to right
      return {w - 1 - x, y};
    case 3:  // turned 180 degrees
      return {w - 1 - x, h - 1 - y};
    case 6:  // turned 90 degrees clockwise to show: the display's columns are stored rows
      return {y, w - 1 - x};
    default:
      return {x, y};
  }
}

// ---- encoders -----------------------------------------------------------------------------

Data EncodeWebP(const Picture& picture, bool lossless) {
  return testing::EncodeWebP(picture.rgba, int(picture.width), int(picture.height), lossless, 95);
}

// The file `mux` makes, or empty when it makes none; `mux` is deleted.
Data Assembled(WebPMux* mux) {
  WebPData out{};
  Data file;
  if (WebPMuxAssemble(mux, &out) == WEBP_MUX_OK) file.assign(out.bytes, out.bytes + out.size);
  WebPDataClear(&out);
  WebPMuxDelete(mux);
  return file;
}

// An animation on a width x height canvas of `frames`, each a lossless WebP at its (x, y) (even
// numbers, as the format stores halves), shown for 100 ms without blending.
Data WebPAnimation(int width, int height,
                   const std::vector<std::tuple<Picture, int, int>>& frames) {
  WebPMux* mux = WebPMuxNew();
  for (const auto& [picture, x, y] : frames) {
    const Data still = EncodeWebP(picture, true);
    WebPMuxFrameInfo info{};
    info.bitstream = {still.data(), still.size()};
    info.x_offset = x;
    info.y_offset = y;
    info.duration = 100;
    info.id = WEBP_CHUNK_ANMF;
    info.dispose_method = WEBP_MUX_DISPOSE_NONE;
    info.blend_method = WEBP_MUX_NO_BLEND;
    WebPMuxPushFrame(mux, &info, 1);  // copies the bitstream
  }
  WebPMuxSetCanvasSize(mux, width, height);
  const WebPMuxAnimParams params{0, 0};
  WebPMuxSetAnimationParams(mux, &params);
  return Assembled(mux);
}

Data WithExifChunk(const Data& webp, const Data& exif) {
  WebPMux* mux = WebPMuxNew();
  const WebPData image{webp.data(), webp.size()};
  const WebPData chunk{exif.data(), exif.size()};
  // A step that fails leaves the file without the picture or the chunk, which the rows see.
  WebPMuxSetImage(mux, &image, 1);
  WebPMuxSetChunk(mux, "EXIF", &chunk, 1);
  return Assembled(mux);
}

// A GIF of the frames on a width x height screen, the colour table kColours (then black), and
// `comment_blocks` one-byte comment sub-blocks before the first frame.
Data EncodeGIF(int width, int height, const std::vector<GifFrame>& frames,
               std::size_t comment_blocks = 0) {
  std::vector<GifColorType> colours(16, GifColorType{0, 0, 0});
  for (int i = 0; i < 8; ++i) {
    colours[i] = {GifByteType(kColours[i] >> 16), GifByteType(kColours[i] >> 8),
                  GifByteType(kColours[i])};
  }
  return testing::EncodeGIF(width, height, frames, colours, comment_blocks);
}

// The blocks picture as a GIF frame of colour indexes.
GifFrame BlockFrame(int transparent, bool interlace) {
  GifFrame frame{0, 0, 32, 16, interlace, transparent, {}};
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) frame.indexes.push_back(GifPixelType((y / 8) * 4 + x / 8));
  }
  return frame;
}

#if KELVANE_WITH_HEIF
// The picture as HEIC or AVIF, stored as it is with `exif` as the format's own turn; empty, with
// `skip` saying why, when libheif has no encoder for the format.
Data EncodeHEIF(heif_compression_format format, const Picture& picture, int exif,
                std::string* skip) {
  return testing::EncodeHEIF(format, picture.rgba, int(picture.width), int(picture.height), exif,
                             90, false, skip);
}
#endif

// ---- the formats ----------------------------------------------------------------------------

struct FormatCase {
  const char* name;
  Data file;
  Picture picture;  // as stored, before any turn
  int turn = 1;     // the EXIF orientation a HEIF decoder applies (1: none)
  ImageOrientation orientation = kOrientationUp;  // what the read reports
  bool opaque = true;                             // expected layout: 0x2006, else 0x2002
  int tolerance = 0;                              // per channel
  bool lossy = false;     // compared away from the blocks' edges, which lossy codecs smear
  std::string skip = {};  // why the file could not be made (no encoder), or empty
};

#if KELVANE_WITH_HEIF
// `picture` as HEIC or AVIF, stored as it is with `exif` as the format's own turn: the decoder
// shows it turned, its orientation Up, lossy; translucent where the picture has alpha.
FormatCase HeifCase(const char* name, heif_compression_format format, const Picture& picture,
                    int exif) {
  bool opaque = true;
  for (std::size_t i = 3; i < picture.rgba.size(); i += 4) opaque &= picture.rgba[i] == 255;
  std::string skip;
  Data file = EncodeHEIF(format, picture, exif, &skip);
  return {.name = name,
          .file = std::move(file),
          .picture = picture,
          .turn = exif,
          .opaque = opaque,
          .tolerance = 4,
          .lossy = true,
          .skip = skip};
}
#endif

TEST(MoreFormats, ReadsEachFormatWithItsOrientation) {
  const Picture opaque = Blocks();
  const Picture translucent = Blocks(kAlphas);
  // The GIF's block 2 is its transparent colour.
  std::uint8_t gif_alphas[8] = {255, 255, 0, 255, 255, 255, 255, 255};
  const Picture gif = Blocks(gif_alphas);
  // A 32 x 16 frame at (8, 4) on a 32 x 16 screen: its right 8 columns and bottom 4 rows are
  // cut off, the screen left of and above it is clear.
  const Picture clipped = Placed(opaque, 32, 16, 8, 4);
  const Picture framed = Placed(opaque, 40, 20, 8, 4);
  GifFrame moved = BlockFrame(NO_TRANSPARENT_COLOR, false);
  moved.left = 8;
  moved.top = 4;
  // Written on a screen that holds the frame, then the screen is made 32 x 16.
  Data past_screen = EncodeGIF(40, 20, {moved});
  const std::uint8_t screen[] = {32, 0, 16, 0};  // width and height, little-endian
  std::copy(std::begin(screen), std::end(screen), past_screen.begin() + 6);
  const std::vector<FormatCase> cases = {
    {"webp lossless", EncodeWebP(opaque, true), opaque},
    {"webp animation, an opaque frame inside the canvas", WebPAnimation(40, 20, {{opaque, 8, 4}}),
     framed, 1, kOrientationUp, false},
    // libwebp premultiplies with its own rounding: within 1 of ours.
    {"webp lossless alpha, EXIF 6",
     WithExifChunk(EncodeWebP(translucent, true), ExifBlock(6, false, false)), translucent, 1,
     kOrientationRight, false, 1},
    {"webp lossless, big-endian EXIF 8 with the JPEG prefix",
     WithExifChunk(EncodeWebP(opaque, true), ExifBlock(8, true, true)), opaque, 1,
     kOrientationLeft},
    {"webp lossy, EXIF 3", WithExifChunk(EncodeWebP(opaque, false), ExifBlock(3, false, false)),
     opaque, 1, kOrientationDown, true, 4, true},
    {"gif interlaced, transparent colour", EncodeGIF(32, 16, {BlockFrame(2, true)}), gif, 1,
     kOrientationUp, false},
    {"gif frame reaching past the screen", past_screen, clipped, 1, kOrientationUp, false},
#if KELVANE_WITH_HEIF
    HeifCase("heic", heif_compression_HEVC, opaque, 1),
    // libheif pads an opaque picture's rows of 3 bytes a pixel to at least 192 bytes: only from
    // 64 pixels across are they shorter than 4 bytes a pixel.
    HeifCase("heic 128 wide", heif_compression_HEVC, Across(opaque, 4), 1),
    HeifCase("heic with alpha, not premultiplied", heif_compression_HEVC, translucent, 1),
    HeifCase("heic turned 90 degrees clockwise", heif_compression_HEVC, opaque, 6),
    HeifCase("avif mirrored", heif_compression_AV1, opaque, 2),
    HeifCase("avif turned 180 degrees", heif_compression_AV1, opaque, 3),
#endif
  };
  std::string skipped;
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Data& file = c.file;
    if (!c.skip.empty()) {
      // The other rows still run; the test is reported skipped at the end.
      skipped += std::string(c.name) + ": " + c.skip + "; ";
      continue;
    }
    ASSERT_FALSE(file.empty());
    const Result<DecodedPicture> read = ReadMoreFormats(file);
    ASSERT_TRUE(read.ok()) << read.error().message;
    const Raster& raster = *read->raster;
    EXPECT_EQ(read->orientation, c.orientation);
    const bool transposed = c.turn >= 5;
    const std::uint32_t w = transposed ? c.picture.height : c.picture.width;
    const std::uint32_t h = transposed ? c.picture.width : c.picture.height;
    ASSERT_EQ(std::pair(raster.width(), raster.height()), std::pair(w, h));
    EXPECT_EQ(raster.bytes_per_row(), std::size_t{w} * 4);  // packed, as the size limits count
    EXPECT_EQ(raster.bitmap_info(), c.opaque ? kOpaqueWorkingBitmapInfo : kWorkingBitmapInfo);
    int worst = 0;
    std::string where;
    for (std::uint32_t y = 0; y < h; ++y) {
      for (std::uint32_t x = 0; x < w; ++x) {
        const auto [sx, sy] = StoredPosition(c.turn, w, h, x, y);
        // Lossy codecs smear the edges of the blocks: their middles are compared.
        if (c.lossy && (sx % 8 < 2 || sx % 8 > 5 || sy % 8 < 2 || sy % 8 > 5)) continue;
        const std::uint8_t* stored = &c.picture.rgba[(std::size_t{sy} * c.picture.width + sx) * 4];
        const std::uint32_t got = raster.PremultipliedPixel(x, y);
        // R, G, B premultiplied, then A, against 0xAARRGGBB.
        for (int i = 0; i < 4; ++i) {
          const int want = i == 3 ? stored[3] : internal::Premultiply(stored[i], stored[3]);
          const int d = std::abs(int(got >> (i == 3 ? 24 : 16 - 8 * i) & 0xFF) - want);
          if (d > worst) {
            worst = d;
            where = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
          }
        }
      }
    }
    EXPECT_LE(worst, c.tolerance) << "largest difference at " << where;
    // The format's own reader gives the same raster (its orientation aside).
    const Result<RasterRef> own = IsWebP(file)  ? ReadWebP(file)
                                  : IsGIF(file) ? ReadGIF(file)
                                                : ReadHEIF(file);
    ASSERT_TRUE(own.ok()) << own.error().message;
    EXPECT_EQ(std::pair((*own)->width(), (*own)->height()), std::pair(w, h));
    EXPECT_EQ(testing::PremultipliedPixels(**own), testing::PremultipliedPixels(raster));
  }
  // Each format's own reader says what is not its format.
  for (const auto read : {&ReadWebP, &ReadGIF, &ReadHEIF}) {
    const Result<RasterRef> other = read(Data{'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_FALSE(other.ok());
    EXPECT_EQ(other.error().kind, ErrorKind::kUnsupported) << other.error().message;
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// ---- hostile input --------------------------------------------------------------------------

void Put32LE(Data& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(value >> (8 * i)));
}

// A lossless WebP whose header declares width x height, with a few bytes of data after it.
Data DeclaredWebP(std::uint32_t width, std::uint32_t height) {
  Data chunk = {0x2F};
  Put32LE(chunk, (width - 1) | ((height - 1) << 14));
  chunk.insert(chunk.end(), 16, 0);
  Data file = {'R', 'I', 'F', 'F'};
  Put32LE(file, std::uint32_t(4 + 8 + chunk.size()));
  file.insert(file.end(), {'W', 'E', 'B', 'P', 'V', 'P', '8', 'L'});
  Put32LE(file, std::uint32_t(chunk.size()));
  file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

Data RandomTail(Data head, std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  while (head.size() < size) head.push_back(std::uint8_t(random()));
  return head;
}

// One hostile input and what reading it must give: `kind` for a refusal, or `frame_one` for an
// animation whose first frame (the blocks, opaque) must come back. An empty file: no encoder
// for the format, which the format rows report.
struct HostileCase {
  const char* name;
  Data file;
  ErrorKind kind = ErrorKind::kMalformed;
  bool frame_one = false;
};

std::vector<HostileCase> HostileCases() {
  const GifFrame plain = BlockFrame(NO_TRANSPARENT_COLOR, false);
  GifFrame white = plain;
  std::fill(white.indexes.begin(), white.indexes.end(), GifPixelType(5));
  Picture opaque_white = Blocks();
  std::fill(opaque_white.rgba.begin(), opaque_white.rgba.end(), 255);
  std::vector<HostileCase> cases = {
      {"webp declaring 16384 x 16384", DeclaredWebP(16384, 16384), ErrorKind::kTooLarge},
      {"gif screen of 65535 x 65535",
       [&] {
         Data file = EncodeGIF(32, 16, {plain});
         file[6] = file[7] = file[8] = file[9] = 0xFF;
         return file;
       }(),
       ErrorKind::kTooLarge},
      {"gif frame of 65535 x 65535 on a small screen",
       [&] {
         Data file = EncodeGIF(32, 16, {plain});
         // The image descriptor follows the screen, its table (48 bytes) and the control
         // block: its sides are at 5..8 after its separator.
         const std::size_t desc = 13 + 48 + 8;
         file[desc + 5] = file[desc + 6] = file[desc + 7] = file[desc + 8] = 0xFF;
         return file;
       }(),
       ErrorKind::kTooLarge},
      {"gif with a block more than the limit before its frame",
       EncodeGIF(32, 16, {plain}, kMaxGIFBlocksBeforeImage), ErrorKind::kTooLarge},
      {"webp signature, then garbage",
       RandomTail({'R', 'I', 'F', 'F', 0, 1, 0, 0, 'W', 'E', 'B', 'P'}, 300, 1)},
      {"gif signature, then garbage", RandomTail({'G', 'I', 'F', '8', '9', 'a'}, 300, 2)},
      {"animated gif", EncodeGIF(32, 16, {plain, white}), ErrorKind::kMalformed, true},
      // Two frames: the blocks, then opaque white.
      {"animated webp", WebPAnimation(32, 16, {{Blocks(), 0, 0}, {opaque_white, 0, 0}}),
       ErrorKind::kMalformed, true},
      {"webp animation, its frame's data damaged",
       [] {
         Data file = WebPAnimation(40, 20, {{Blocks(), 8, 4}});
         static constexpr char kLossless[] = "VP8L";
         const auto at = std::search(file.begin(), file.end(), kLossless, kLossless + 4);
         // After the chunk's header and the bitstream's own (signature, sides): its codes.
         if (file.end() - at < 40) return Data{0};
         std::fill(at + 13, at + 40, std::uint8_t{0xFF});
         return file;
       }()},
      // Damaged where libheif reads it, unsupported in a build without it.
      {"heif file-type box, then garbage",
       RandomTail({0, 0, 0, 16, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0}, 300, 3),
       KELVANE_WITH_HEIF ? ErrorKind::kMalformed : ErrorKind::kUnsupported},
  };
#if KELVANE_WITH_HEIF
  cases.push_back({"heic declaring 20000 x 20000",
                   [] {
                     std::string skip;
                     Data file = EncodeHEIF(heif_compression_HEVC, Blocks(), 1, &skip);
                     // The image's spatial extent: box size, "ispe", version and flags, sides.
                     static constexpr char kIspe[] = "ispe";
                     const auto at = std::search(file.begin(), file.end(), kIspe, kIspe + 4);
                     if (at == file.end() || file.end() - at < 16) return Data();
                     const std::uint8_t side[4] = {0, 0, 0x4E, 0x20};  // 20000
                     std::copy(side, side + 4, at + 8);
                     std::copy(side, side + 4, at + 12);
                     return file;
                   }(),
                   ErrorKind::kTooLarge});
  // Found by heif_fuzz from one of its seeds, each stopping libheif 1.15 with an assertion: the
  // primary picture, an 'iden', derives from an item whose type is no picture's; the same with
  // the reference in a box that overruns its container, which libheif reads all the same.
  for (const char* name :
       {"heic_iden_of_no_picture.heic", "heic_reference_overrunning_its_box.heic"}) {
    const Data file = testing::FileBytes(testing::FixturePath(name));
    // A missing fixture must fail the row, not pass for a missing encoder.
    cases.push_back({name, file.empty() ? Data{0} : file});
  }
#endif
  return cases;
}

// Every row in a child under the hostile limits (512 MB, 10 s): a decoder that allocated for
// a declared picture before checking it would fail there. The status is 1 + the row that
// failed, or 0.
[[maybe_unused]] const bool kHostile = testing::ChildProcess("more-formats-hostile", [] {
  const std::vector<HostileCase> cases = HostileCases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Data& file = cases[i].file;
    if (file.empty()) continue;  // no encoder for the format: the format rows say so
    const Result<DecodedPicture> read = ReadMoreFormats(file);
    if (cases[i].frame_one) {
      if (!read.ok() || read->raster->PremultipliedPixel(0, 0) != (0xFF000000u | kColours[0]) ||
          read->raster->PremultipliedPixel(31, 15) != (0xFF000000u | kColours[7])) {
        return int(i) + 1;
      }
    } else if (read.ok() || read.error().kind != cases[i].kind || read.error().message.empty()) {
      return int(i) + 1;
    }
  }
  return 0;
});

TEST(MoreFormats, KeepsItsBudgetsOnHostileInput) {
  const testing::ChildOutcome outcome =
      testing::RunLimitedChild("more-formats-hostile", {.memory_bytes = 512u << 20, .seconds = 10});
  const std::vector<HostileCase> cases = HostileCases();
  EXPECT_EQ(outcome.status, 0) << (outcome.status >= 1 && outcome.status <= int(cases.size())
                                       ? cases[outcome.status - 1].name
                                       : "the child did not finish");

  // Every prefix of a small file of each format is refused, without a crash: before its
  // signature is whole as not a picture, after as damaged. A GIF needs no trailer after its
  // frame.
  const Picture blocks = Blocks();
  std::vector<std::pair<const char*, Data>> files = {
      {"webp lossy", EncodeWebP(blocks, false)},
      {"webp lossless", EncodeWebP(blocks, true)},
      {"gif", EncodeGIF(32, 16, {BlockFrame(2, true)})},
  };
#if KELVANE_WITH_HEIF
  std::string skip;
  files.emplace_back("heic", EncodeHEIF(heif_compression_HEVC, blocks, 1, &skip));
  files.emplace_back("avif", EncodeHEIF(heif_compression_AV1, blocks, 1, &skip));
#endif
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    if (file.empty()) continue;  // no encoder for the format: the format rows say so
    ASSERT_TRUE(ReadMoreFormats(file).ok());
    const std::size_t complete = std::string(name) == "gif" ? file.size() - 1 : file.size();
    for (std::size_t size = 0; size < complete; ++size) {
      const Result<DecodedPicture> read = ReadMoreFormats(std::span(file.data(), size));
      ASSERT_FALSE(read.ok()) << size << " bytes";
      const std::span prefix(file.data(), size);
      const bool signed_ = IsWebP(prefix) || IsGIF(prefix) || IsHEIF(prefix);
      EXPECT_EQ(read.error().kind, signed_ ? ErrorKind::kMalformed : ErrorKind::kUnsupported)
          << size << " bytes: " << read.error().message;
      EXPECT_EQ(read.error().message.find('\n'), std::string::npos) << read.error().message;
    }
  }
}

}  // namespace
}  // namespace kelvane::platform
