#include "kelvane/platform/codecs/png.h"

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/graphics/internal/pixel_format.h"

namespace kelvane::platform {

bool IsPNG(std::span<const std::uint8_t> bytes) noexcept {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

RasterRef DecodePNG(std::span<const std::uint8_t> bytes) noexcept {
  if (!IsPNG(bytes)) return nullptr;
  // libpng's simplified reader keeps its error jumps inside libpng; failures come back as 0.
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return nullptr;
  if (!DecodedSizeAllowed(image.width, image.height)) {
    png_image_free(&image);
    return nullptr;
  }
  const bool has_alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_BGRA;  // B, G, R, A in memory, alpha not premultiplied
  const std::size_t row = std::size_t{image.width} * 4;
  std::vector<std::uint8_t> pixels;
  try {
    pixels.resize(row * image.height);
  } catch (const std::bad_alloc&) {
    png_image_free(&image);
    return nullptr;
  }
  if (!png_image_finish_read(&image, nullptr, pixels.data(), static_cast<png_int_32>(row),
                             nullptr)) {
    png_image_free(&image);
    return nullptr;
  }
  if (has_alpha) {
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
      const unsigned a = pixels[i + 3];
      if (a == 255) continue;
      pixels[i] = internal::Premultiply(pixels[i], a);
      pixels[i + 1] = internal::Premultiply(pixels[i + 1], a);
      pixels[i + 2] = internal::Premultiply(pixels[i + 2], a);
    }
  }
  return Raster::Make(image.width, image.height, row,
                      has_alpha ? kWorkingBitmapInfo : kOpaqueWorkingBitmapInfo, ColorSpace::kRGB,
                      std::move(pixels));
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
