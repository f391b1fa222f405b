// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/webp.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/internal/exif_block.h"
#include "kelvane/platform/codecs/internal/more_formats.h"
#include "kelvane/platform/codecs/limits.h"

namespace kelvane::platform {
namespace {

struct DemuxDeleter {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
using Demuxer = std::unique_ptr<WebPDemuxer, DemuxDeleter>;

Error Damaged(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return Error{ErrorKind::kIo, "out of memory"};
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return Error{ErrorKind::kUnsupported, "a WebP picture with a feature that is not supported"};
    case VP8_STATUS_NOT_ENOUGH_DATA:
      return Error{ErrorKind::kMalformed, "a damaged WebP picture (cut short)"};
    default:
      return Error{ErrorKind::kMalformed, "a damaged WebP picture"};
  }
}

// Decodes the frame bitstream `data` (a whole still file, or an animation frame's chunks) into
// `pixels`, rows of `row` bytes, in the working format: premultiplied when `alpha`, else with a
// 255 fourth byte.
VP8StatusCode DecodeInto(const std::uint8_t* data, std::size_t size, bool alpha,
                         std::uint8_t* pixels, std::size_t row, int width, int height) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return VP8_STATUS_INVALID_PARAM;
  const VP8StatusCode features = WebPGetFeatures(data, size, &config.input);
  if (features != VP8_STATUS_OK) return features;
  if (config.input.width != width || config.input.height != height) {
    return VP8_STATUS_BITSTREAM_ERROR;
  }
  config.output.colorspace = alpha ? MODE_bgrA : MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = pixels;
  config.output.u.RGBA.stride = static_cast<int>(row);
  config.output.u.RGBA.size = row * static_cast<std::size_t>(height - 1) + std::size_t(width) * 4;
  // libwebp reports an alpha plane it could not allocate as damaged data ("Could not decode
  // alpha data"). It decodes on this thread, and the C library's allocations leave ENOMEM behind
  // when they fail, so that failure is told apart here and reported as what it is.
  errno = 0;
  const VP8StatusCode status = WebPDecode(data, size, &config);
  if (status != VP8_STATUS_OK && errno == ENOMEM) return VP8_STATUS_OUT_OF_MEMORY;
  return status;
}

// Pixel memory freed by the raster that wraps it, or here when the decode fails.
struct Pixels {
  std::uint8_t* data = nullptr;
  ~Pixels() { std::free(data); }
  RasterRef Wrap(const PixelLayout& layout) {
    std::uint8_t* taken = data;
    data = nullptr;
    return Raster::Wrap(layout, taken, [taken] { std::free(taken); });
  }
};

Result<internal::DecodedPicture> ReadWebPOrThrow(std::span<const std::uint8_t> bytes) {
  if (!IsWebP(bytes)) return Error{ErrorKind::kUnsupported, "not a WebP picture"};
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
  if (status != VP8_STATUS_OK) return Damaged(status);

  // The container's chunks: an animation's frames and the EXIF chunk. Demuxing reads the chunk
  // headers only and copies nothing.
  const WebPData data{bytes.data(), bytes.size()};
  Demuxer demux(WebPDemux(&data));
  if (demux == nullptr && features.has_animation) return Damaged(VP8_STATUS_BITSTREAM_ERROR);

  std::uint32_t width = static_cast<std::uint32_t>(features.width);
  std::uint32_t height = static_cast<std::uint32_t>(features.height);
  if (demux != nullptr) {
    width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
  }
  if (features.width <= 0 || features.height <= 0 || !DecodedSizeAllowed(width, height)) {
    return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(width, height)};
  }

  ImageOrientation orientation = kOrientationUp;
  if (demux != nullptr && (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) != 0) {
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
      orientation = ImageOrientationFromExif(
          internal::ExifBlockOrientation({chunk.chunk.bytes, chunk.chunk.size}));
      WebPDemuxReleaseChunkIterator(&chunk);
    }
  }

  const std::size_t row = std::size_t{width} * 4;
  Pixels pixels;
  PixelLayout layout = PixelLayout::Working(width, height, row, !features.has_alpha);
  if (!features.has_animation) {
    // Left unzeroed: the decoder writes every byte.
    pixels.data = static_cast<std::uint8_t*>(std::malloc(row * height));
    if (pixels.data == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    const VP8StatusCode decoded =
        DecodeInto(bytes.data(), bytes.size(), features.has_alpha, pixels.data, row,
                   static_cast<int>(width), static_cast<int>(height));
    if (decoded != VP8_STATUS_OK) return Damaged(decoded);
  } else {
    // The first frame on a transparent canvas: blending it over nothing leaves it as it is, so
    // it is decoded in place at its offset, and the rest of the canvas stays clear.
    WebPIterator frame;
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) return Damaged(VP8_STATUS_BITSTREAM_ERROR);
    const int x = frame.x_offset, y = frame.y_offset, w = frame.width, h = frame.height;
    const WebPData fragment = frame.fragment;
    const bool covers = x == 0 && y == 0 && std::uint32_t(w) == width && std::uint32_t(h) == height;
    const bool opaque = covers && !frame.has_alpha;
    WebPDemuxReleaseIterator(&frame);
    // The demuxer has checked that the frame lies on the canvas; checked again, as the decode
    // writes through these numbers.
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || std::uint32_t(x) + std::uint32_t(w) > width ||
        std::uint32_t(y) + std::uint32_t(h) > height) {
      return Damaged(VP8_STATUS_BITSTREAM_ERROR);
    }
    pixels.data =
        static_cast<std::uint8_t*>(covers ? std::malloc(row * height) : std::calloc(row, height));
    if (pixels.data == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    std::uint8_t* origin = pixels.data + std::size_t(y) * row + std::size_t(x) * 4;
    const VP8StatusCode decoded =
        DecodeInto(fragment.bytes, fragment.size, !opaque, origin, row, w, h);
    if (decoded != VP8_STATUS_OK) return Damaged(decoded);
    layout = PixelLayout::Working(width, height, row, opaque);
  }
  RasterRef raster = pixels.Wrap(layout);
  if (raster == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  return internal::DecodedPicture{std::move(raster), orientation};
}

}  // namespace

bool IsWebP(std::span<const std::uint8_t> bytes) noexcept {
  return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
         std::memcmp(bytes.data() + 8, "WEBP", 4) == 0;
}

Result<RasterRef> ReadWebP(std::span<const std::uint8_t> bytes) noexcept {
  Result<internal::DecodedPicture> picture = internal::ReadWebPPicture(bytes);
  if (!picture) return picture.error();
  return std::move(picture->raster);
}

namespace internal {

Result<DecodedPicture> ReadWebPPicture(std::span<const std::uint8_t> bytes) noexcept {
  try {
    return ReadWebPOrThrow(bytes);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

}  // namespace internal
}  // namespace kelvane::platform
