// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/jpeg.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/pixels/internal/row_reducer.h"

namespace kelvane::platform {
namespace {

struct HandleCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct FreeMemory {
  void operator()(void* p) const { std::free(p); }
};

// The decoder's flags for a reduced read: none of the fast paths. Measured on 12- and 24-
// megapixel 4:2:0 photos: at 1/4 and 1/8 TJFLAG_FASTDCT and TJFLAG_FASTUPSAMPLE change neither
// a pixel nor the time (the reduced transforms are fixed, and chroma is upsampled in them); at
// 1/2 and 1/1 they save at most a tenth of the decode and cost accuracy: FASTDCT up to 6
// levels (a mean of 0.5 to 0.75), FASTUPSAMPLE at 1/1 up to 93 at sharp colour edges.
constexpr int kReducedReadFlags = 0;

// The scans (start-of-scan segments) the decoder would meet in `bytes`, counted up to
// `stop_after`, in one pass over the bytes. Markers are found as the decoder finds them: bytes
// other than 0xFF between segments are passed over, as are fill bytes, and a scan's coded data
// runs to the first marker that is neither a stuffed 0xFF nor a restart.
std::size_t CountJPEGScans(std::span<const std::uint8_t> bytes, std::size_t stop_after) {
  const std::uint8_t* d = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t scans = 0;
  std::size_t pos = 2;
  // The next 0xFF with a byte after it, at `pos` or beyond; size - 1 when there is none. Found
  // with memchr, as a scan's coded data (nearly all of a file) rarely holds one.
  const auto next_ff = [&](std::size_t from) -> std::size_t {
    const void* ff = std::memchr(d + from, 0xFF, size - 1 - from);
    return ff == nullptr ? size - 1
                         : static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - d);
  };
  while (pos + 1 < size) {
    if (d[pos] != 0xFF) {
      pos = next_ff(pos);
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
      pos = next_ff(pos);
      if (pos + 1 >= size) break;
      const std::uint8_t next = d[pos + 1];
      if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) break;
      ++pos;
    }
  }
  return scans;
}

// A file's header read and checked against the limits, with the handle that read it; the scans
// counted first when the picture is to be decoded.
struct Header {
  Handle handle;
  int width = 0, height = 0;
};

Error Damaged(const Handle& handle) {
  return Error{ErrorKind::kMalformed,
               std::string("a damaged JPEG picture (") + tjGetErrorStr2(handle.get()) + ")"};
}

// The sample precision of the file's frame header (8 for the pictures decoded here, 12 or 16 for
// others), found by walking the segments before the first scan; 0 when there is none. Each step
// moves forward by a segment's stated length, so the walk ends within the file.
int FramePrecision(std::span<const std::uint8_t> bytes) {
  std::size_t at = 2;
  while (at + 4 < bytes.size() && bytes[at] == 0xFF) {
    const std::uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) return bytes[at + 4];
    if (marker == 0xDA) return 0;  // a scan before any frame
    at += 2 + (std::size_t{bytes[at + 2]} << 8 | bytes[at + 3]);
  }
  return 0;
}

Result<Header> ReadHeader(std::span<const std::uint8_t> bytes, bool decoding) {
  if (!IsJPEG(bytes)) return Error{ErrorKind::kUnsupported, "not a JPEG picture"};
  if (bytes.size() > 0xFFFFFFFFu) return Error{ErrorKind::kTooLarge, "a JPEG file over 4 GiB"};
  // Each scan of a progressive file passes over the whole picture's coefficients, and an empty
  // scan takes a dozen bytes: without a bound, 10 KB of scans keep the decoder busy for
  // seconds. Counted before the decoder sees the bytes, so that a refused file costs one pass.
  if (decoding && CountJPEGScans(bytes, kMaxJPEGScans + 1) > kMaxJPEGScans) {
    return Error{ErrorKind::kTooLarge,
                 "more than " + std::to_string(kMaxJPEGScans) + " scans in a JPEG picture"};
  }
  Header header;
  header.handle.reset(tjInitDecompress());
  if (header.handle == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  int subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(header.handle.get(), bytes.data(),
                          static_cast<unsigned long>(bytes.size()), &header.width, &header.height,
                          &subsampling, &colorspace) != 0) {
    // A well-formed file of 12 or 16 bits a sample is one this decoder does not read.
    if (const int precision = FramePrecision(bytes); precision == 12 || precision == 16) {
      return Error{ErrorKind::kUnsupported,
                   "a " + std::to_string(precision) + "-bit JPEG picture, which is not supported"};
    }
    return Damaged(header.handle);
  }
  // A file that ends before its frame header (tables alone) declares no picture at all.
  if (header.width <= 0 || header.height <= 0) {
    return Error{ErrorKind::kMalformed, "a damaged JPEG picture (no frame header)"};
  }
  if (!DecodedSizeAllowed(header.width, header.height)) {
    return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(header.width, header.height)};
  }
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
    return Error{ErrorKind::kUnsupported, "a CMYK JPEG picture, which is not supported"};
  }
  return header;
}

// The picture decoded at `width` x `height`, the declared sides or TurboJPEG's scaled sides for
// one of its factors, with `flags` added to the decoder's.
Result<RasterRef> Decode(std::span<const std::uint8_t> bytes, const Header& header, int width,
                         int height, int flags) {
  const std::size_t row = std::size_t(width) * 4;
  // Left unzeroed: the decoder writes every byte, and clearing 48 MB first would cost a few
  // per cent of a large decode.
  auto* pixels = static_cast<std::uint8_t*>(std::malloc(row * height));
  if (pixels == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  // TJPF_BGRA writes 255 into the fourth byte: the opaque working format as it is. A warning
  // (data cut short, a damaged segment) ends the decode at once: the file is refused either
  // way, and going on would fill the rest of a large picture for nothing.
  if (tjDecompress2(header.handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()),
                    pixels, width, static_cast<int>(row), height, TJPF_BGRA,
                    TJFLAG_STOPONWARNING | flags) != 0) {
    std::free(pixels);
    return Damaged(header.handle);
  }
  RasterRef raster =
      Raster::Wrap(PixelLayout::Working(static_cast<std::uint32_t>(width),
                                        static_cast<std::uint32_t>(height), row, true),
                   pixels, [pixels] { std::free(pixels); });
  if (raster == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  return raster;
}

Result<RasterRef> ReadJPEGOrThrow(std::span<const std::uint8_t> bytes) {
  Result<Header> header = ReadHeader(bytes, true);
  if (!header) return header.error();
  return Decode(bytes, *header, header->width, header->height, 0);
}

// The decoder's scale for a read that reduces: the smallest of 1/2, 1/4 and 1/8 whose scaled
// sides (rounded up, as the decoder makes them) still hold the target, or 1/1.
tjscalingfactor ReducingScale(int width, int height, PixelSize target) {
  tjscalingfactor chosen{1, 1};
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  for (int i = 0; factors != nullptr && i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num != 1 || (f.denom != 2 && f.denom != 4 && f.denom != 8)) continue;
    if (f.denom <= chosen.denom) continue;
    if (std::uint32_t(TJSCALED(width, f)) >= target.width &&
        std::uint32_t(TJSCALED(height, f)) >= target.height) {
      chosen = f;
    }
  }
  return chosen;
}

Result<RasterRef> ReadJPEGReducedOrThrow(std::span<const std::uint8_t> bytes, PixelSize size) {
  Result<Header> header = ReadHeader(bytes, true);
  if (!header) return header.error();
  const auto width = static_cast<std::uint32_t>(header->width);
  const auto height = static_cast<std::uint32_t>(header->height);
  size.width = std::clamp<std::uint32_t>(size.width, 1, width);
  size.height = std::clamp<std::uint32_t>(size.height, 1, height);
  const tjscalingfactor scale = ReducingScale(header->width, header->height, size);
  const int scaled_width = TJSCALED(header->width, scale);
  const int scaled_height = TJSCALED(header->height, scale);
  Result<RasterRef> scaled = Decode(bytes, *header, scaled_width, scaled_height, kReducedReadFlags);
  if (!scaled) return scaled;
  const Raster& source = **scaled;
  if (source.width() == size.width && source.height() == size.height) return scaled;
  header->handle.reset();
  // The rest of the way by area averaging, the scaled picture's rows fed in order.
  const PixelLayout layout = PixelLayout::Working(size.width, size.height, size.width * 4, true);
  std::unique_ptr<std::uint8_t, FreeMemory> pixels(
      static_cast<std::uint8_t*>(std::malloc(layout.ByteCount())));
  if (pixels == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  internal::RowReducer reducer(source.width(), source.height(), {layout, pixels.get()});
  if (!reducer.Valid()) return Error{ErrorKind::kIo, "out of memory"};
  for (std::uint32_t y = 0; y < source.height(); ++y) reducer.AddRow(source.Row(y));
  std::uint8_t* memory = pixels.release();
  RasterRef raster = Raster::Wrap(layout, memory, [memory] { std::free(memory); });
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

Result<PixelSize> ReadJPEGSize(std::span<const std::uint8_t> bytes) noexcept {
  try {
    Result<Header> header = ReadHeader(bytes, false);
    if (!header) return header.error();
    return PixelSize{static_cast<std::uint32_t>(header->width),
                     static_cast<std::uint32_t>(header->height)};
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Result<RasterRef> ReadJPEG(std::span<const std::uint8_t> bytes, PixelSize size) noexcept {
  try {
    return ReadJPEGReducedOrThrow(bytes, size);
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
