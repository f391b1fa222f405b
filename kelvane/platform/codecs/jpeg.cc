// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/jpeg.h"

#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelvane/platform/codecs/limits.h"

namespace kelvane::platform {
namespace {

struct HandleCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The scans (start-of-scan segments) the decoder would meet in `bytes`, counted up to
// `stop_after`, in one pass over the bytes. Markers are found as the decoder finds them: bytes
// other than 0xFF between segments are passed over, as are fill bytes, and a scan's coded data
// runs to the first marker that is neither a stuffed 0xFF nor a restart.
std::size_t CountJPEGScans(std::span<const std::uint8_t> bytes, std::size_t stop_after) {
  const std::uint8_t* d = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t scans = 0;
  std::size_t pos = 2;
  while (pos + 1 < size) {
    if (d[pos] != 0xFF) {
      ++pos;
      continue;
    }
    const std::uint8_t marker = d[pos + 1];
    if (marker == 0xFF) {
      ++pos;
      continue;
    }
    if (marker == 0xD9) break;  // end of image: the decoder reads no further
    pos += 2;
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
    if (pos + 2 > size) break;
    const std::size_t length = (std::size_t{d[pos]} << 8) | d[pos + 1];
    if (length < 2) break;
    pos += length;
    if (marker != 0xDA) continue;
    if (++scans >= stop_after) break;
    while (pos + 1 < size) {
      if (d[pos] == 0xFF && d[pos + 1] != 0x00 && d[pos + 1] != 0xFF &&
          !(d[pos + 1] >= 0xD0 && d[pos + 1] <= 0xD7)) {
        break;
      }
      ++pos;
    }
  }
  return scans;
}

Result<RasterRef> ReadJPEGOrThrow(std::span<const std::uint8_t> bytes) {
  if (!IsJPEG(bytes)) return Error{ErrorKind::kUnsupported, "not a JPEG picture"};
  if (bytes.size() > 0xFFFFFFFFu) return Error{ErrorKind::kTooLarge, "a JPEG file over 4 GiB"};
  // Each scan of a progressive file passes over the whole picture's coefficients, and an empty
  // scan takes a dozen bytes: without a bound, 10 KB of scans keep the decoder busy for
  // seconds. Counted before the decoder sees the bytes, so that a refused file costs one pass.
  if (CountJPEGScans(bytes, kMaxJPEGScans + 1) > kMaxJPEGScans) {
    return Error{ErrorKind::kTooLarge,
                 "more than " + std::to_string(kMaxJPEGScans) + " scans in a JPEG picture"};
  }
  Handle handle(tjInitDecompress());
  if (handle == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  const auto damaged = [&] {
    return Error{ErrorKind::kMalformed,
                 std::string("a damaged JPEG picture (") + tjGetErrorStr2(handle.get()) + ")"};
  };
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  const auto size = static_cast<unsigned long>(bytes.size());
  if (tjDecompressHeader3(handle.get(), bytes.data(), size, &width, &height, &subsampling,
                          &colorspace) != 0) {
    return damaged();
  }
  if (width <= 0 || height <= 0 || !DecodedSizeAllowed(width, height)) {
    return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(width, height)};
  }
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
    return Error{ErrorKind::kUnsupported, "a CMYK JPEG picture, which is not supported"};
  }
  const std::size_t row = std::size_t(width) * 4;
  // Left unzeroed: the decoder writes every byte, and clearing 48 MB first would cost a few
  // per cent of a large decode.
  auto* pixels = static_cast<std::uint8_t*>(std::malloc(row * height));
  if (pixels == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  // TJPF_BGRA writes 255 into the fourth byte: the opaque working format as it is. A warning
  // (data cut short, a damaged segment) ends the decode at once: the file is refused either
  // way, and going on would fill the rest of a large picture for nothing.
  if (tjDecompress2(handle.get(), bytes.data(), size, pixels, width, static_cast<int>(row), height,
                    TJPF_BGRA, TJFLAG_STOPONWARNING) != 0) {
    std::free(pixels);
    return damaged();
  }
  RasterRef raster =
      Raster::Wrap(PixelLayout::Working(static_cast<std::uint32_t>(width),
                                        static_cast<std::uint32_t>(height), row, true),
                   pixels, [pixels] { std::free(pixels); });
  if (raster == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  return raster;
}

}  // namespace

bool IsJPEG(std::span<const std::uint8_t> bytes) noexcept {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

Result<RasterRef> ReadJPEG(std::span<const std::uint8_t> bytes) noexcept {
  try {
    return ReadJPEGOrThrow(bytes);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

RasterRef DecodeJPEG(std::span<const std::uint8_t> bytes) noexcept {
  Result<RasterRef> raster = ReadJPEG(bytes);
  return raster ? std::move(raster).value() : nullptr;
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
