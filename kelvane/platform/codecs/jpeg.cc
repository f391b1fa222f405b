#include "kelvane/platform/codecs/jpeg.h"

#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "kelvane/platform/codecs/limits.h"

namespace kelvane::platform {
namespace {

struct HandleCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

}  // namespace

bool IsJPEG(std::span<const std::uint8_t> bytes) noexcept {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

RasterRef DecodeJPEG(std::span<const std::uint8_t> bytes) noexcept {
  if (!IsJPEG(bytes) || bytes.size() > 0xFFFFFFFFu) return nullptr;
  Handle handle(tjInitDecompress());
  if (handle == nullptr) return nullptr;
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  const auto size = static_cast<unsigned long>(bytes.size());
  if (tjDecompressHeader3(handle.get(), bytes.data(), size, &width, &height, &subsampling,
                          &colorspace) != 0) {
    return nullptr;
  }
  if (width <= 0 || height <= 0 || !DecodedSizeAllowed(width, height)) return nullptr;
  const std::size_t row = std::size_t(width) * 4;
  // Left unzeroed: the decoder writes every byte, and clearing 48 MB first would cost a few
  // per cent of a large decode.
  auto* pixels = static_cast<std::uint8_t*>(std::malloc(row * height));
  if (pixels == nullptr) return nullptr;
  // TJPF_BGRA writes 255 into the fourth byte: the opaque working format as it is.
  if (tjDecompress2(handle.get(), bytes.data(), size, pixels, width, static_cast<int>(row), height,
                    TJPF_BGRA, 0) != 0) {
    std::free(pixels);
    return nullptr;
  }
  return Raster::Wrap(width, height, row, kOpaqueWorkingBitmapInfo, ColorSpace::kRGB, pixels,
                      [pixels] { std::free(pixels); });
}

int JPEGQuality(double quality) noexcept {
  if (!(quality > 0.0)) return 1;  // also not-a-number
  if (quality >= 1.0) return 100;
  const int q = static_cast<int>(std::lround(quality * 100.0));
  return q < 1 ? 1 : q;
}

std::optional<Data> EncodeJPEG(const Raster& raster, double quality) noexcept {
  if (raster.width() > 0xFFFF || raster.height() > 0xFFFF) return std::nullopt;  // JPEG's limit
  const Raster* source = &raster;
  RasterRef converted;
  int format = TJPF_BGRX;
  int subsampling = TJSAMP_420;
  if (raster.color_space() == ColorSpace::kGrey && raster.alpha_info() == AlphaInfo::kNone) {
    format = TJPF_GRAY, subsampling = TJSAMP_GRAY;
  } else if (!raster.IsWorkingFormat()) {
    converted = ConvertRaster(raster, kOpaqueWorkingBitmapInfo, ColorSpace::kRGB);
    if (converted == nullptr) return std::nullopt;
    source = converted.get();
  }
  Handle handle(tjInitCompress());
  if (handle == nullptr) return std::nullopt;
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  if (tjCompress2(handle.get(), source->data(), static_cast<int>(source->width()),
                  static_cast<int>(source->bytes_per_row()), static_cast<int>(source->height()),
                  format, &out, &out_size, subsampling, JPEGQuality(quality), 0) != 0) {
    tjFree(out);
    return std::nullopt;
  }
  std::optional<Data> data;
  try {
    data.emplace(out, out + out_size);
  } catch (const std::bad_alloc&) {
  }
  tjFree(out);
  return data;
}

}  // namespace kelvane::platform
