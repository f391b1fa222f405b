#include "kelvane/platform/codecs/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/pixels/internal/pixel_format.h"

namespace kelvane::platform {

bool IsPNG(std::span<const std::uint8_t> bytes) noexcept {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

namespace {

// How many ancillary chunks libpng may keep in memory at once; with every chunk it does not
// need skipped unread (below) it keeps none, and this only backs that up.
constexpr png_uint_32 kMaxCachedChunks = 8;

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

Error Malformed(const PngReader& reader) {
  return Error{ErrorKind::kMalformed,
               std::string("a damaged PNG picture") +
                   (reader.message[0] != '\0' ? std::string(" (") + reader.message + ")" : "")};
}

}  // namespace

Result<RasterRef> ReadPNG(std::span<const std::uint8_t> bytes) noexcept {
  try {
    if (!IsPNG(bytes)) return Error{ErrorKind::kUnsupported, "not a PNG picture"};
    // The header chunk comes first, at a fixed place: a picture over the limits is refused for
    // its size before libpng reads anything, however the rest of the file looks.
    if (bytes.size() >= 24 && std::memcmp(bytes.data() + 12, "IHDR", 4) == 0) {
      const auto big_endian = [&](std::size_t at) {
        return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
               std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
      };
      const std::uint32_t width = big_endian(16), height = big_endian(20);
      if (width > 0 && height > 0 && !DecodedSizeAllowed(width, height)) {
        return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(width, height)};
      }
    }
    PngReader reader;
    reader.data = bytes.data();
    reader.size = bytes.size();
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, OnError, OnWarning);
    if (reader.png == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    png_set_read_fn(reader.png, &reader, ReadData);

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
    if (layout.alpha) {
      const std::size_t size = row * layout.height;
      for (std::size_t i = 0; i < size; i += 4) {
        const unsigned a = pixels[i + 3];
        if (a == 255) continue;
        pixels[i] = internal::Premultiply(pixels[i], a);
        pixels[i + 1] = internal::Premultiply(pixels[i + 1], a);
        pixels[i + 2] = internal::Premultiply(pixels[i + 2], a);
      }
    }
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

std::optional<Data> EncodePNG(const Raster& raster) noexcept {
  // The layout libpng's simplified writer takes, and the raster in it.
  std::uint32_t info;
  ColorSpace space = ColorSpace::kRGB;
  png_uint_32 format;
  if (raster.color_space() == ColorSpace::kGrey && raster.alpha_info() == AlphaInfo::kNone) {
    info = 0, space = ColorSpace::kGrey, format = PNG_FORMAT_GRAY;
  } else if (raster.IsOpaque()) {
    info = 0, format = PNG_FORMAT_RGB;
  } else {
    info = 0x2004, format = PNG_FORMAT_BGRA;  // first + 32-bit little, not premultiplied
  }
  const RasterRef converted = ConvertRaster(raster, info, space);
  if (converted == nullptr) return std::nullopt;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = converted->width();
  image.height = converted->height();
  image.format = format;
  png_alloc_size_t size = 0;
  const auto stride = static_cast<png_int_32>(converted->bytes_per_row());
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, converted->data(), stride, nullptr)) {
    return std::nullopt;
  }
  try {
    Data out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, converted->data(), stride,
                                   nullptr)) {
      return std::nullopt;
    }
    out.resize(size);
    return out;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace kelvane::platform
