// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/png.h"

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/codecs/internal/png_rows.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/pixels/internal/pixel_format.h"
#include "kelvane/platform/pixels/internal/row_reducer.h"

namespace kelvane::platform {

bool IsPNG(std::span<const std::uint8_t> bytes) noexcept {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

namespace {

// How many ancillary chunks libpng may keep in memory at once; with every chunk it does not
// need skipped unread (below) it keeps none, and this only backs that up.
constexpr png_uint_32 kMaxCachedChunks = 8;

// The writer's deflate level (libdeflate's fastest) and the largest image data chunk it writes.
constexpr int kDeflateLevel = 1;
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

// What one decode holds, released in one place however it ends: libpng reports an error by
// jumping straight back to the setjmp of ReadHeader or ReadRows, past its own frames, so those
// two functions hold nothing that needs a destructor.
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t offset = 0;
  char message[160] = "";  // libpng's words for the error that ended the decode

  ~PngReader() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
};

void OnError(png_structp png, png_const_charp message) {
  auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
  std::snprintf(reader->message, sizeof reader->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep out, std::size_t length) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->offset) png_error(png, "cut short");
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
}

struct PngLayout {
  png_uint_32 width = 0, height = 0;
  bool alpha = false;
  int passes = 1;
  bool allowed = false;  // within the decoded-size limit; nothing more is set up otherwise
};

// Reads the chunks up to the image data and sets up B, G, R, A rows of 8-bit samples.
// False when libpng found the file bad.
bool ReadHeader(PngReader& reader, PngLayout* layout) {
  png_structp png = reader.png;
  png_infop info = reader.info;
  if (setjmp(png_jmpbuf(png))) return false;
  // Only the header, palette, transparency, gamma and image data are read: text (which may
  // inflate to gigabytes), profiles, EXIF and every other ancillary chunk are skipped unread,
  // so they allocate nothing and cost only the time their bytes take to pass.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  static constexpr png_byte kRead[] = "gAMA\0sRGB";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kRead, 2);
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, type = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
  layout->width = width;
  layout->height = height;
  layout->allowed = DecodedSizeAllowed(width, height);
  if (!layout->allowed) return true;
  const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  layout->alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
  // Samples stay as stored unless the file declares another encoding than sRGB's: 16-bit
  // samples are not taken for linear light just because no chunk says what they are.
  double gamma = 0;
  if (png_get_valid(png, info, PNG_INFO_sRGB) == 0 && png_get_gAMA(png, info, &gamma) != 0 &&
      gamma > 0) {
    png_set_gamma(png, PNG_DEFAULT_sRGB, gamma);
  }
  if (depth == 16) png_set_scale_16(png);
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((type & PNG_COLOR_MASK_COLOR) == 0) {
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
  }
  if (transparency) png_set_tRNS_to_alpha(png);
  if (!layout->alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  layout->passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{width} * 4) png_error(png, "unexpected layout");
  return true;
}

// Reads every pass of the image data into `pixels`, rows of `row` bytes. False when libpng
// found the data bad or cut short.
bool ReadRows(PngReader& reader, std::uint8_t* pixels, std::size_t row, png_uint_32 height,
              int passes) {
  png_structp png = reader.png;
  if (setjmp(png_jmpbuf(png))) return false;
  // Row by row: an interlaced pass combines into the row it is given, and no table of row
  // pointers (8 bytes a row) is needed for a tall picture.
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, pixels + y * row, nullptr);
  }
  // The chunks after the image data are left unread, as they add nothing to the picture.
  return true;
}

// Premultiplies `size` bytes of B, G, R, A pixels in place.
void PremultiplyRow(std::uint8_t* pixels, std::size_t size) {
  for (std::size_t i = 0; i < size; i += 4) {
    const unsigned a = pixels[i + 3];
    if (a == 255) continue;
    pixels[i] = internal::Premultiply(pixels[i], a);
    pixels[i + 1] = internal::Premultiply(pixels[i + 1], a);
    pixels[i + 2] = internal::Premultiply(pixels[i + 2], a);
  }
}

// Reads the rows of a picture that is not interlaced one at a time into `row`, premultiplied
// when `alpha`, and hands each to `reducer`. False when libpng found the data bad or cut short.
bool ReadRowsReduced(PngReader& reader, std::uint8_t* row, png_uint_32 width, png_uint_32 height,
                     bool alpha, internal::RowReducer& reducer) {
  png_structp png = reader.png;
  if (setjmp(png_jmpbuf(png))) return false;
  for (png_uint_32 y = 0; y < height; ++y) {
    png_read_row(png, row, nullptr);
    if (alpha) PremultiplyRow(row, std::size_t{width} * 4);
    reducer.AddRow(row);
  }
  return true;
}

Error Malformed(const PngReader& reader) {
  return Error{ErrorKind::kMalformed,
               std::string("a damaged PNG picture") +
                   (reader.message[0] != '\0' ? std::string(" (") + reader.message + ")" : "")};
}

// ---- the direct reader ------------------------------------------------------------------------
// The common files (8-bit grey, grey and alpha, RGB or RGBA, not interlaced, no transparency
// chunk, no gamma to apply) are read here: the image data inflated at once by libdeflate, rows
// unfiltered and turned into working-format pixels. It takes a file only when it is plainly
// sound, checking every checksum of what it reads, and hands anything else (other layouts,
// damage, a stream longer or shorter than the picture, chunks out of place) to libpng, which
// then reads it as before and reports what it finds: so the two accept and refuse the same
// files, and a damaged file costs at most a second look.

// libpng's own default bound on either side of a picture, kept here so that the direct reader
// refuses nothing libpng takes and takes nothing it refuses.
constexpr std::uint32_t kMaxSide = 1'000'000;

std::uint32_t BigEndian(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void PutBigEndian(std::uint8_t* p, std::uint32_t value) {
  p[0] = std::uint8_t(value >> 24), p[1] = std::uint8_t(value >> 16);
  p[2] = std::uint8_t(value >> 8), p[3] = std::uint8_t(value);
}

// `chunk` points at a chunk's length field, with `length` bytes of data after its type.
bool ChecksumMatches(const std::uint8_t* chunk, std::uint32_t length) {
  return libdeflate_crc32(0, chunk + 4, std::size_t{length} + 4) == BigEndian(chunk + 8 + length);
}

bool IsChunkName(const std::uint8_t* name) {
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t c = name[i] & ~0x20;
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

struct FreeMemory {
  void operator()(void* p) const { std::free(p); }
};
using Memory = std::unique_ptr<std::uint8_t[], FreeMemory>;

Memory Allocate(std::size_t size) { return Memory(static_cast<std::uint8_t*>(std::malloc(size))); }

// The picture of a file the direct reader takes; null for every other file.
RasterRef ReadDirect(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  if (bytes.size() < 33 || BigEndian(p + 8) != 13 || std::memcmp(p + 12, "IHDR", 4) != 0 ||
      !ChecksumMatches(p + 8, 13)) {
    return nullptr;
  }
  const std::uint32_t width = BigEndian(p + 16), height = BigEndian(p + 20);
  const int depth = p[24], type = p[25];
  static constexpr unsigned kChannels[7] = {1, 0, 3, 0, 2, 0, 4};
  if (width > kMaxSide || height > kMaxSide || !DecodedSizeAllowed(width, height) || depth != 8 ||
      type > 6 || kChannels[type] == 0 || p[26] != 0 || p[27] != 0 || p[28] != 0) {
    return nullptr;
  }
  const unsigned channels = kChannels[type];

  // The chunks up to the end of the image data: every checksum of a critical chunk is checked,
  // ancillary chunks other than gAMA and sRGB pass unread.
  std::vector<std::span<const std::uint8_t>> data;
  bool gamma = false, srgb = false;
  for (std::size_t at = 33; bytes.size() - at >= 12;) {
    const std::uint32_t length = BigEndian(p + at);
    const std::uint8_t* name = p + at + 4;
    if (length > 0x7FFFFFFF || length > bytes.size() - at - 12) break;  // cut short
    const bool image_data = std::memcmp(name, "IDAT", 4) == 0;
    if (!data.empty() && !image_data) break;  // what follows the image data is not read
    if (!IsChunkName(name)) return nullptr;
    if (image_data) {
      if (!ChecksumMatches(p + at, length)) return nullptr;
      data.emplace_back(name + 4, length);
    } else if (std::memcmp(name, "gAMA", 4) == 0) {
      gamma = true;
    } else if (std::memcmp(name, "sRGB", 4) == 0) {
      if (length != 1 || name[4] > 3 || !ChecksumMatches(p + at, length)) return nullptr;
      srgb = true;
    } else if ((name[0] & 0x20) == 0 || std::memcmp(name, "tRNS", 4) == 0) {
      return nullptr;  // a palette, another header, the end, transparency, or unknown
    }
    at += 12 + std::size_t{length};
  }
  if (data.empty() || (gamma && !srgb)) return nullptr;

  Memory joined;
  std::span<const std::uint8_t> stream = data.front();
  if (data.size() > 1) {
    std::size_t total = 0;
    for (const auto& part : data) total += part.size();
    joined = Allocate(total);
    if (joined == nullptr) return nullptr;
    std::size_t at = 0;
    for (const auto& part : data) {
      std::memcpy(joined.get() + at, part.data(), part.size());
      at += part.size();
    }
    stream = {joined.get(), total};
  }

  // The filtered rows are inflated into the end of the pixels' own memory and turned into
  // pixels front to back: an output row never reaches the filtered rows still to be read, so
  // the decode takes no more memory than the picture and two rows.
  const std::size_t row = std::size_t{width} * channels;
  const std::size_t filtered = (row + 1) * height, pixels_size = std::size_t{width} * 4 * height;
  const std::size_t size = std::max(filtered, pixels_size);
  Memory pixels = Allocate(size);
  Memory rows = Allocate(2 * row);
  if (pixels == nullptr || rows == nullptr) return nullptr;
  std::uint8_t* const in = pixels.get() + (size - filtered);
  {
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    if (inflater == nullptr) return nullptr;
    std::size_t used = 0, made = 0;
    const libdeflate_result result = libdeflate_zlib_decompress_ex(
        inflater, stream.data(), stream.size(), in, filtered, &used, &made);
    libdeflate_free_decompressor(inflater);
    if (result != LIBDEFLATE_SUCCESS || made != filtered) return nullptr;
  }
  joined.reset();
  std::uint8_t* above = rows.get();
  std::uint8_t* current = rows.get() + row;
  std::memset(above, 0, row);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* source = in + y * (row + 1);
    std::memcpy(current, source + 1, row);
    if (!internal::UnfilterRow(source[0], channels, current, above, row)) return nullptr;
    internal::PngSamplesToWorking(type, current, width, pixels.get() + y * std::size_t{width} * 4);
    std::swap(above, current);
  }
  const bool alpha = type == 4 || type == 6;
  std::uint8_t* memory = pixels.release();
  return Raster::Wrap(PixelLayout::Working(width, height, std::size_t{width} * 4, !alpha), memory,
                      [memory] { std::free(memory); });
}

// The header chunk comes first, at a fixed place: a picture over the limits is refused for its
// size before libpng reads anything, however the rest of the file looks.
std::optional<Error> OverLimitsInHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 24 && std::memcmp(bytes.data() + 12, "IHDR", 4) == 0) {
    const std::uint32_t width = BigEndian(bytes.data() + 16), height = BigEndian(bytes.data() + 20);
    if (width > 0 && height > 0 && !DecodedSizeAllowed(width, height)) {
      return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(width, height)};
    }
  }
  return std::nullopt;
}

// Allocates what a decode holds and sets libpng up to read from `bytes`; false when memory
// runs out.
bool StartReader(PngReader& reader, std::span<const std::uint8_t> bytes) {
  reader.data = bytes.data();
  reader.size = bytes.size();
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, OnError, OnWarning);
  if (reader.png == nullptr) return false;
  reader.info = png_create_info_struct(reader.png);
  if (reader.info == nullptr) return false;
  png_set_read_fn(reader.png, &reader, ReadData);
  return true;
}

Result<RasterRef> ReadPNGReducedOrThrow(std::span<const std::uint8_t> bytes, PixelSize size) {
  if (!IsPNG(bytes)) return Error{ErrorKind::kUnsupported, "not a PNG picture"};
  if (std::optional<Error> over = OverLimitsInHeader(bytes)) return *over;
  PngReader reader;
  if (!StartReader(reader, bytes)) return Error{ErrorKind::kIo, "out of memory"};
  PngLayout layout;
  if (!ReadHeader(reader, &layout)) return Malformed(reader);
  if (!layout.allowed) {
    return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(layout.width, layout.height)};
  }
  size.width = std::clamp<std::uint32_t>(size.width, 1, layout.width);
  size.height = std::clamp<std::uint32_t>(size.height, 1, layout.height);
  // Kept whole: the usual reader, with its fast path.
  if (size.width == layout.width && size.height == layout.height) return ReadPNG(bytes);
  const PixelLayout out =
      PixelLayout::Working(size.width, size.height, std::size_t{size.width} * 4, !layout.alpha);
  Memory pixels = Allocate(out.ByteCount());
  if (pixels == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  if (layout.passes > 1) {
    // An interlaced picture comes in passes over the whole of it: it is read whole first.
    Result<RasterRef> whole = ReadPNG(bytes);
    if (!whole) return whole.error();
    internal::RowReducer reducer(layout.width, layout.height, {out, pixels.get()});
    if (!reducer.Valid()) return Error{ErrorKind::kIo, "out of memory"};
    for (std::uint32_t y = 0; y < layout.height; ++y) reducer.AddRow((*whole)->Row(y));
  } else {
    internal::RowReducer reducer(layout.width, layout.height, {out, pixels.get()});
    Memory row = Allocate(std::size_t{layout.width} * 4);
    if (!reducer.Valid() || row == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    if (!ReadRowsReduced(reader, row.get(), layout.width, layout.height, layout.alpha, reducer)) {
      return Malformed(reader);
    }
  }
  std::uint8_t* memory = pixels.release();
  RasterRef raster = Raster::Wrap(out, memory, [memory] { std::free(memory); });
  if (raster == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  return raster;
}

}  // namespace

Result<PixelSize> ReadPNGSize(std::span<const std::uint8_t> bytes) noexcept {
  if (!IsPNG(bytes)) return Error{ErrorKind::kUnsupported, "not a PNG picture"};
  const std::uint8_t* p = bytes.data();
  if (bytes.size() < 33 || BigEndian(p + 8) != 13 || std::memcmp(p + 12, "IHDR", 4) != 0 ||
      !ChecksumMatches(p + 8, 13)) {
    return Error{ErrorKind::kMalformed, "a damaged PNG picture (no sound header)"};
  }
  const std::uint32_t width = BigEndian(p + 16), height = BigEndian(p + 20);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    return Error{ErrorKind::kMalformed, "a damaged PNG picture (a side out of range)"};
  }
  if (!DecodedSizeAllowed(width, height)) {
    return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(width, height)};
  }
  return PixelSize{width, height};
}

Result<RasterRef> ReadPNG(std::span<const std::uint8_t> bytes, PixelSize size) noexcept {
  try {
    return ReadPNGReducedOrThrow(bytes, size);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Result<RasterRef> ReadPNG(std::span<const std::uint8_t> bytes) noexcept {
  try {
    if (!IsPNG(bytes)) return Error{ErrorKind::kUnsupported, "not a PNG picture"};
    if (std::optional<Error> over = OverLimitsInHeader(bytes)) return *over;
    if (RasterRef raster = ReadDirect(bytes)) return raster;
    PngReader reader;
    if (!StartReader(reader, bytes)) return Error{ErrorKind::kIo, "out of memory"};

    PngLayout layout;
    if (!ReadHeader(reader, &layout)) return Malformed(reader);
    if (!layout.allowed) {
      return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(layout.width, layout.height)};
    }
    const std::size_t row = std::size_t{layout.width} * 4;
    // Unzeroed: every byte is written by the first pass (and a failed read drops them).
    auto* pixels = static_cast<std::uint8_t*>(std::malloc(row * layout.height));
    if (pixels == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    if (!ReadRows(reader, pixels, row, layout.height, layout.passes)) {
      std::free(pixels);
      return Malformed(reader);
    }
    if (layout.alpha) PremultiplyRow(pixels, row * layout.height);
    RasterRef raster =
        Raster::Wrap(PixelLayout::Working(layout.width, layout.height, row, !layout.alpha), pixels,
                     [pixels] { std::free(pixels); });
    if (raster == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    return raster;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

RasterRef DecodePNG(std::span<const std::uint8_t> bytes) noexcept {
  Result<RasterRef> raster = ReadPNG(bytes);
  return raster ? std::move(raster).value() : nullptr;
}

Result<Data> TryEncodePNG(const Raster& raster) noexcept {
  const Error out_of_memory{ErrorKind::kIo, "out of memory"};
  try {
    if (raster.width() == 0 || raster.height() == 0) {
      return Error{ErrorKind::kUnsupported, "an empty picture: a PNG holds at least one pixel"};
    }
    // The samples come from a grey raster of one byte a pixel, a packed RGB one, or the
    // working format; every other layout is converted to the nearest of these first.
    int type = 2;
    unsigned channels = 3;
    std::optional<std::pair<std::uint32_t, ColorSpace>> convert;
    if (raster.color_space() == ColorSpace::kGrey && raster.alpha_info() == AlphaInfo::kNone) {
      type = 0, channels = 1;
      if (raster.bitmap_info() != 0) convert.emplace(0, ColorSpace::kGrey);
    } else if (raster.IsOpaque()) {
      const bool packed = raster.bitmap_info() == 0 && raster.color_space() == ColorSpace::kRGB;
      if (!packed && !raster.IsWorkingFormat()) {
        convert.emplace(kOpaqueWorkingBitmapInfo, ColorSpace::kRGB);
      }
    } else {
      type = 6, channels = 4;
      if (!raster.IsWorkingFormat()) convert.emplace(kWorkingBitmapInfo, ColorSpace::kRGB);
    }
    RasterRef converted;
    if (convert) {
      converted = ConvertRaster(raster, convert->first, convert->second);
      if (converted == nullptr) return out_of_memory;
    }
    const Raster* source = converted != nullptr ? converted.get() : &raster;
    const std::uint32_t width = source->width(), height = source->height();
    // Grey and packed RGB rows are the samples already; working-format rows are turned into them.
    const bool direct = type == 0 || (type == 2 && source->bits_per_pixel() == 24);
    const std::size_t row = std::size_t{width} * channels, stride = row + 1;
    const std::size_t filtered_size = stride * height;
    // Large pictures are filtered in bands on the worker pool, as every pass over a picture
    // is split (dispatch/apply.h); the deflate pass that follows reads them as one stream. The
    // two rows of samples each band works in come with the filtered rows, in one allocation,
    // so that no band can fail halfway.
    const std::size_t bands = RowBands(std::uint64_t{width} * height, height);
    Memory filtered = Allocate(filtered_size + bands * 2 * row);
    if (filtered == nullptr) return out_of_memory;

    // Rows [first, last): the first row of the picture filtered by Sub, every other by Up. Up
    // costs one subtraction a byte and, at the fast deflate level below, compresses photos
    // better than the other filters; each band starts from its own copy of the row above, so
    // the bytes are the same however the picture is split.
    const auto filter_rows = [&](std::size_t band, std::uint32_t first, std::uint32_t last) {
      std::uint8_t* above = filtered.get() + filtered_size + band * 2 * row;
      std::uint8_t* current = above + row;
      const auto samples = [&](std::uint32_t y, std::uint8_t* out) {
        if (direct) {
          std::memcpy(out, source->Row(y), row);
        } else {
          internal::WorkingToPngSamples(source->Row(y), width, type == 6, out);
        }
      };
      if (first > 0) samples(first - 1, above);
      for (std::uint32_t y = first; y < last; ++y) {
        samples(y, current);
        std::uint8_t* out = filtered.get() + y * stride;
        if (y == 0) {
          out[0] = internal::kFilterSub;
          for (std::size_t i = 0; i < row; ++i) {
            out[1 + i] = std::uint8_t(current[i] - (i >= channels ? current[i - channels] : 0));
          }
        } else {
          out[0] = internal::kFilterUp;
          for (std::size_t i = 0; i < row; ++i) out[1 + i] = std::uint8_t(current[i] - above[i]);
        }
        std::swap(above, current);
      }
    };
    ApplyToRowBands(bands, height, filter_rows);

    // One pass of libdeflate's fastest level over the whole image data.
    libdeflate_compressor* deflater = libdeflate_alloc_compressor(kDeflateLevel);
    if (deflater == nullptr) return out_of_memory;
    const std::size_t bound = libdeflate_zlib_compress_bound(deflater, filtered_size);
    Memory stream = Allocate(bound);
    const std::size_t stream_size =
        stream == nullptr ? 0
                          : libdeflate_zlib_compress(deflater, filtered.get(), filtered_size,
                                                     stream.get(), bound);
    libdeflate_free_compressor(deflater);
    // The bound always holds the stream, so nothing comes out only when the buffer was not had.
    if (stream_size == 0) return out_of_memory;
    filtered.reset();

    // Signature, header, the stream in chunks of at most kMaxChunk bytes, end.
    const std::size_t chunks = (stream_size + kMaxChunk - 1) / kMaxChunk;
    Data out(8 + 25 + chunks * 12 + stream_size + 12);
    std::uint8_t* at = out.data();
    const auto chunk = [&at](const char* name, const std::uint8_t* data, std::size_t size) {
      PutBigEndian(at, static_cast<std::uint32_t>(size));
      std::memcpy(at + 4, name, 4);
      if (size > 0) std::memcpy(at + 8, data, size);
      PutBigEndian(at + 8 + size, libdeflate_crc32(0, at + 4, size + 4));
      at += 12 + size;
    };
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::memcpy(at, kSignature, 8);
    at += 8;
    std::uint8_t header[13] = {};
    PutBigEndian(header, width);
    PutBigEndian(header + 4, height);
    header[8] = 8;  // bits a sample; compression, filter method and interlace stay 0
    header[9] = static_cast<std::uint8_t>(type);
    chunk("IHDR", header, sizeof header);
    for (std::size_t done = 0; done < stream_size; done += kMaxChunk) {
      chunk("IDAT", stream.get() + done, std::min(kMaxChunk, stream_size - done));
    }
    chunk("IEND", nullptr, 0);
    return out;
  } catch (const std::bad_alloc&) {
    return out_of_memory;
  }
}

std::optional<Data> EncodePNG(const Raster& raster) noexcept {
  return TryEncodePNG(raster).ToOptional();
}

}  // namespace kelvane::platform
