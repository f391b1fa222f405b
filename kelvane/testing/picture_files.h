// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/picture_files.h
//
// Test helpers that make picture files from pixels the tests choose: PNG files chunk by chunk
// (interlaced ones too, and image data that inflates far past its picture), WebP, GIF, HEIC and
// AVIF through the formats' own encoders, EXIF blocks, the pictures kept in testdata/images, and
// a raster's pixels as one value to compare whole. They make inputs only: what they write is
// checked by the tests that read it.
//
// Threads: any helper may be called from any thread.
#pragma once

#include <gif_lib.h>
#include <webp/encode.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kelvane/platform/core/string.h"
#include "kelvane/platform/pixels/internal/pixel_format.h"
#include "kelvane/platform/pixels/raster.h"

#if KELVANE_WITH_HEIF
#include <libheif/heif.h>
#endif

namespace kelvane::testing {

// `size` bytes from a generator seeded with `seed`: the same bytes for the same seed.
inline Data RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Data out(size);
  for (auto& byte : out) byte = static_cast<std::uint8_t>(random());
  return out;
}

// The path of a picture kept in testdata/images.
inline std::string FixturePath(const std::string& name) {
  return std::string(KELVANE_TESTDATA_DIR) + "/images/" + name;
}

// The bytes of a file; empty when it cannot be read.
inline Data FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Data(std::istreambuf_iterator<char>(in), {});
}

// Appends `value` as four bytes, most significant first, as PNG stores numbers.
inline void Put32(Data& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

// The zlib stream of `raw` at the default level; empty when zlib fails.
inline Data Deflated(const Data& raw) {
  uLongf size = compressBound(raw.size());
  Data out(size);
  if (compress2(out.data(), &size, raw.data(), raw.size(), 6) != Z_OK) return {};
  out.resize(size);
  return out;
}

// The zlib stream of `size` zero bytes, made a megabyte at a time: a gigabyte takes about
// 4.5 MB of stream.
inline Data DeflatedZeros(std::uint64_t size) {
  z_stream z{};
  deflateInit(&z, 1);
  const Data zeros(1 << 20, 0);
  Data out(1 << 16);
  Data stream;
  for (std::uint64_t left = size; left > 0;) {
    const auto n = static_cast<uInt>(std::min<std::uint64_t>(left, zeros.size()));
    z.next_in = const_cast<Bytef*>(zeros.data());
    z.avail_in = n;
    left -= n;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
      stream.insert(stream.end(), out.data(), z.next_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return stream;
}

// Appends one PNG chunk: its length, its type, `size` bytes of content and their checksum.
inline void PutChunk(Data& png, std::string_view type, const std::uint8_t* data, std::size_t size) {
  Put32(png, static_cast<std::uint32_t>(size));
  const std::size_t start = png.size();
  png.insert(png.end(), type.begin(), type.end());
  png.insert(png.end(), data, data + size);
  Put32(png, crc32(0, png.data() + start, static_cast<uInt>(png.size() - start)));
}

// A PNG file of a width x height picture: the rest of its header `layout` (depth, colour type,
// compression, filter, interlace), the `before` chunks, the zlib stream `stream` of its image
// data cut into chunks of `piece` bytes, and the end chunk.
inline Data PngFile(std::uint32_t width, std::uint32_t height, const Data& layout,
                    const Data& stream,
                    const std::vector<std::pair<std::string, Data>>& before = {},
                    std::size_t piece = SIZE_MAX) {
  Data png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Data header;
  Put32(header, width);
  Put32(header, height);
  header.insert(header.end(), layout.begin(), layout.end());
  PutChunk(png, "IHDR", header.data(), header.size());
  for (const auto& [type, content] : before) PutChunk(png, type, content.data(), content.size());
  std::size_t at = 0;
  do {
    const std::size_t size = std::min(piece, stream.size() - at);
    PutChunk(png, "IDAT", stream.data() + at, size);
    at += size;
  } while (at < stream.size());
  PutChunk(png, "IEND", nullptr, 0);
  return png;
}

// A width x height picture in the working format: smooth ramps, with `bars` sharp bars across
// them and a sawtooth in blue, and with `alpha` coverage that falls across it.
inline platform::RasterRef TestPicture(std::uint32_t width, std::uint32_t height, bool alpha,
                                       bool bars = true) {
  Data pixels(std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = pixels.data() + (std::size_t{y} * width + x) * 4;
      const unsigned a = alpha ? 255 - 200 * x / width : 255;
      const bool bar = bars && x / 7 % 5 == 0;
      const unsigned r = bar ? 240 : 255 * x / width;
      const unsigned g = 255 * y / height;
      const unsigned b = bars ? (x + y) * 3 % 256 : (x + y) * 255 / (width + height);
      p[0] = std::uint8_t(b * a / 255);
      p[1] = std::uint8_t(g * a / 255);
      p[2] = std::uint8_t(r * a / 255);
      p[3] = std::uint8_t(a);
    }
  }
  return platform::Raster::Make(
      platform::PixelLayout::Working(width, height, std::size_t{width} * 4, !alpha),
      std::move(pixels));
}

// The raster's pixels as R, G, B, A rows with alpha divided out, as encoders take them.
inline Data StraightRGBA(const platform::Raster& raster) {
  Data out;
  out.reserve(std::size_t{raster.width()} * raster.height() * 4);
  for (std::uint32_t y = 0; y < raster.height(); ++y) {
    for (std::uint32_t x = 0; x < raster.width(); ++x) {
      const std::uint32_t argb = raster.PremultipliedPixel(x, y);
      const unsigned a = argb >> 24;
      for (int shift : {16, 8, 0}) {
        out.push_back(platform::internal::Unpremultiply((argb >> shift) & 255, a));
      }
      out.push_back(std::uint8_t(a));
    }
  }
  return out;
}

// The raster as an interlaced (Adam7) 8-bit RGBA PNG, unfiltered, which the reader takes
// through libpng rather than its own one-piece inflater.
inline Data InterlacedPNG(const platform::Raster& raster) {
  const std::uint32_t w = raster.width(), h = raster.height();
  const Data rgba = StraightRGBA(raster);
  static constexpr std::uint32_t kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                                                {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2},
                                                {0, 1, 1, 2}};
  Data raw;
  for (const auto& pass : kPass) {
    if (pass[0] >= w || pass[1] >= h) continue;  // an empty pass has no rows at all
    for (std::uint32_t y = pass[1]; y < h; y += pass[3]) {
      raw.push_back(0);
      for (std::uint32_t x = pass[0]; x < w; x += pass[2]) {
        const auto from = rgba.begin() + std::ptrdiff_t((std::size_t{y} * w + x) * 4);
        raw.insert(raw.end(), from, from + 4);
      }
    }
  }
  return PngFile(w, h, {8, 6, 0, 0, 1}, Deflated(raw));
}

// A TIFF block with one IFD0 entry, the orientation; little-endian ("II") or big ("MM"), after
// the "Exif\0\0" that JPEG segments put first when `jpeg_prefix`.
inline Data ExifBlock(int orientation, bool big_endian, bool jpeg_prefix) {
  Data block;
  if (jpeg_prefix) block = {'E', 'x', 'i', 'f', 0, 0};
  const auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = big_endian ? 8 * (bytes - 1 - i) : 8 * i;
      block.push_back(std::uint8_t(value >> shift));
    }
  };
  block.push_back(big_endian ? 'M' : 'I');
  block.push_back(big_endian ? 'M' : 'I');
  put(42, 2);
  put(8, 4);            // IFD0 right after the header
  put(1, 2);            // one entry
  put(0x0112, 2);       // orientation
  put(3, 2);            // SHORT
  put(1, 4);            // one value
  put(orientation, 2);  // in the entry
  put(0, 2);            // padding of the value field
  put(0, 4);            // no next IFD
  return block;
}

// The JPEG with an APP1 segment recording the EXIF `orientation` (1..8) right after its start.
inline Data WithExifSegment(const Data& jpeg, int orientation) {
  Data app1 = {0xFF, 0xE1, 0, 0};
  const Data block = ExifBlock(orientation, false, true);
  app1.insert(app1.end(), block.begin(), block.end());
  app1[3] = std::uint8_t(app1.size() - 2);  // the segment's length, short enough for one byte
  Data out = jpeg;
  out.insert(out.begin() + 2, app1.begin(), app1.end());
  return out;
}

// A width x height picture of R, G, B, A rows (alpha not multiplied in) as a still WebP,
// lossless or lossy at `quality` (0..100).
inline Data EncodeWebP(const Data& rgba, int width, int height, bool lossless, float quality) {
  std::uint8_t* out = nullptr;
  const std::size_t size =
      lossless ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out)
               : WebPEncodeRGBA(rgba.data(), width, height, width * 4, quality, &out);
  Data file(out, out + size);
  WebPFree(out);
  return file;
}

// One frame of a GIF: indexes into the file's colour table, rows top to bottom.
struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlace = false;
  int transparent = NO_TRANSPARENT_COLOR;
  std::vector<GifPixelType> indexes;
};

namespace internal {
// giflib's output function: appends to the Data its handle carries.
inline int AppendGifBytes(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* out = static_cast<Data*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}
}  // namespace internal

// A GIF89a of the frames on a width x height screen with the colour table `colours` (a power of
// two of them), each frame after its control block, and `comment_blocks` one-byte comment
// sub-blocks before the first frame.
inline Data EncodeGIF(int width, int height, const std::vector<GifFrame>& frames,
                      const std::vector<GifColorType>& colours, std::size_t comment_blocks = 0) {
  Data file;
  int error = 0;
  GifFileType* gif = EGifOpen(&file, internal::AppendGifBytes, &error);
  ColorMapObject* map = GifMakeMapObject(int(colours.size()), colours.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, int(std::bit_width(colours.size() - 1)), 0, map);
  if (comment_blocks > 0) {
    EGifPutExtensionLeader(gif, COMMENT_EXT_FUNC_CODE);
    const GifByteType byte = 'x';
    for (std::size_t i = 0; i < comment_blocks; ++i) EGifPutExtensionBlock(gif, 1, &byte);
    EGifPutExtensionTrailer(gif);
  }
  for (const GifFrame& frame : frames) {
    GraphicsControlBlock control{};
    control.TransparentColor = frame.transparent;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension);
    EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlace,
                     nullptr);
    // An interlaced frame's rows go in the order of its passes.
    const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (frame.interlace ? 4 : 1); ++pass) {
      for (int y = frame.interlace ? starts[pass] : 0; y < frame.height;
           y += frame.interlace ? steps[pass] : 1) {
        std::vector<GifPixelType> line(frame.indexes.begin() + y * frame.width,
                                       frame.indexes.begin() + (y + 1) * frame.width);
        EGifPutLine(gif, line.data(), frame.width);
      }
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return file;
}

#if KELVANE_WITH_HEIF
namespace internal {
// libheif's writer: appends to the Data it is handed.
inline heif_error AppendHeifBytes(heif_context*, const void* data, std::size_t size, void* out) {
  auto* file = static_cast<Data*>(out);
  file->insert(file->end(), static_cast<const std::uint8_t*>(data),
               static_cast<const std::uint8_t*>(data) + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}
}  // namespace internal

// A width x height picture of R, G, B, A rows (alpha not multiplied in) as HEIC or AVIF at
// `quality`, stored as it is with `exif` (1..8) as the format's own turn (irot, imir), with
// alpha where any pixel is not opaque, at the encoders' fastest settings when `fastest`. Empty,
// with `skip` (when not null) saying why, when libheif has no encoder for the format or fails.
inline Data EncodeHEIF(heif_compression_format format, const Data& rgba, int width, int height,
                       int exif, int quality, bool fastest, std::string* skip = nullptr) {
  std::string why;
  Data file;
  if (!heif_have_encoder_for_format(format)) {
    why = format == heif_compression_HEVC ? "libheif has no HEVC encoder (x265)"
                                          : "libheif has no AV1 encoder (aom)";
  } else {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, format, &encoder);
    heif_encoder_set_lossy_quality(encoder, quality);
    if (fastest) {
      (void)heif_encoder_set_parameter(encoder, "speed", "9");
      (void)heif_encoder_set_parameter(encoder, "preset", "ultrafast");
    }
    bool translucent = false;
    for (std::size_t i = 3; i < rgba.size(); i += 4) translucent |= rgba[i] != 255;
    const int channels = translucent ? 4 : 3;
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB,
                      translucent ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                      &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int i = 0; i < width * height; ++i) {
      std::copy_n(&rgba[std::size_t(i) * 4], channels,
                  plane + (i / width) * stride + (i % width) * channels);
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(exif);
    if (heif_context_encode_image(context, image, encoder, options, nullptr).code ==
        heif_error_Ok) {
      heif_writer writer{1, internal::AppendHeifBytes};
      heif_context_write(context, &writer, &file);
    }
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    if (file.empty()) why = "libheif's encoder failed";
  }
  if (skip != nullptr) *skip = why;
  return file;
}
#endif

// Every pixel of the raster as premultiplied 0xAARRGGBB, row by row, to compare whole.
inline std::vector<std::uint32_t> PremultipliedPixels(const platform::Raster& raster) {
  std::vector<std::uint32_t> pixels;
  pixels.reserve(std::size_t{raster.width()} * raster.height());
  for (std::uint32_t y = 0; y < raster.height(); ++y) {
    for (std::uint32_t x = 0; x < raster.width(); ++x) {
      pixels.push_back(raster.PremultipliedPixel(x, y));
    }
  }
  return pixels;
}

}  // namespace kelvane::testing
