// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/image_file.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/internal/more_formats.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/internal/file_bytes.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/pixel_kernels.h"

namespace kelvane::platform {
namespace {

const Error kOutOfMemory{ErrorKind::kIo, "out of memory"};

PixelSize Transposed(PixelSize size, ImageOrientation orientation) {
  return IsTransposed(orientation) ? PixelSize{size.height, size.width} : size;
}

// A decoded picture reduced to `stored` pixels with the area averaging of the pixel kernels,
// in the working format: colours are averaged premultiplied, so a clear pixel adds no colour.
Result<RasterRef> Reduced(RasterRef raster, PixelSize stored) {
  if (raster->width() == stored.width && raster->height() == stored.height) return raster;
  if (!raster->IsWorkingFormat()) {
    raster = InWorkingFormat(raster);
    if (raster == nullptr) return kOutOfMemory;
  }
  const PixelLayout layout = PixelLayout::Packed(stored.width, stored.height, raster->bitmap_info(),
                                                 raster->color_space());
  std::vector<std::uint8_t> pixels(layout.ByteCount());
  if (!ResampleOriented(raster->view(), {layout, pixels.data()}, kOrientationUp)) {
    return kOutOfMemory;
  }
  RasterRef reduced = Raster::Make(layout, std::move(pixels));
  if (reduced == nullptr) return kOutOfMemory;
  return reduced;
}

// The picture in `bytes` read at the displayed size `target` gives for its displayed size,
// with its orientation: PNG and JPEG by their decoders' reduced reads, other formats read whole
// and then reduced. REQUIRES: `target` gives sides of 1 .. the picture's.
template <typename Target>
Result<ImageRef> ReadAt(std::span<const std::uint8_t> bytes, const Target& target) {
  const bool jpeg = IsJPEG(bytes);
  RasterRef raster;
  ImageOrientation orientation = kOrientationUp;
  if (!jpeg && !IsPNG(bytes)) {
    Result<internal::DecodedPicture> picture = internal::ReadMoreFormats(bytes);
    if (!picture) return picture.error();
    orientation = picture->orientation;
    const PixelSize stored{picture->raster->width(), picture->raster->height()};
    Result<RasterRef> reduced =
        Reduced(std::move(picture->raster),
                Transposed(target(Transposed(stored, orientation)), orientation));
    if (!reduced) return reduced.error();
    raster = std::move(reduced).value();
  } else {
    const Result<PixelSize> stored = jpeg ? ReadJPEGSize(bytes) : ReadPNGSize(bytes);
    if (!stored) return stored.error();
    if (jpeg) orientation = ImageOrientationFromExif(ExifOrientation(bytes));
    const PixelSize size = Transposed(target(Transposed(*stored, orientation)), orientation);
    Result<RasterRef> read = jpeg ? ReadJPEG(bytes, size) : ReadPNG(bytes, size);
    if (!read) return read.error();
    raster = std::move(read).value();
  }
  ImageRef image = Image::Make(std::move(raster), 1.0, orientation);
  if (image == nullptr) return kOutOfMemory;
  return image;
}

}  // namespace

PixelSize ReadSize(std::uint32_t width, std::uint32_t height, const ReadOptions& options) noexcept {
  const PixelSize whole{width, height};
  const std::uint64_t tw = options.width, th = options.height;
  if (width == 0 || height == 0 || (tw == 0 && th == 0)) return whole;
  // The scale as the fraction num / den of one of the given sides, so that the sides come out
  // exact rather than a whisker below a whole pixel.
  std::uint64_t num = tw, den = width;
  if (tw == 0 || (th != 0 && (th * width < tw * height) == (options.fit != ReadFit::kCover))) {
    num = th, den = height;
  }
  if (num >= den) return whole;
  // Rounded to nearest, halves upward: den / 2 is exactly a half for an even den, and an odd
  // den gives no halves. (The products stay below 2^64: num < den < 2^32.)
  const auto side = [&](std::uint64_t x) {
    const std::uint64_t scaled = (x * num + den / 2) / den;
    return static_cast<std::uint32_t>(scaled < 1 ? 1 : scaled);
  };
  return {side(width), side(height)};
}

Result<PixelSize> ReadImageSize(std::span<const std::uint8_t> bytes) noexcept {
  try {
    const bool jpeg = IsJPEG(bytes);
    if (!jpeg && !IsPNG(bytes)) {
      Result<internal::DecodedPicture> picture = internal::ReadMoreFormats(bytes);
      if (!picture) return picture.error();
      return Transposed({picture->raster->width(), picture->raster->height()},
                        picture->orientation);
    }
    if (!jpeg) return ReadPNGSize(bytes);
    const Result<PixelSize> stored = ReadJPEGSize(bytes);
    if (!stored) return stored.error();
    return Transposed(*stored, ImageOrientationFromExif(ExifOrientation(bytes)));
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

Result<ImageRef> ReadImage(std::span<const std::uint8_t> bytes) noexcept {
  try {
    const bool jpeg = IsJPEG(bytes);
    if (!jpeg && !IsPNG(bytes)) {
      Result<internal::DecodedPicture> picture = internal::ReadMoreFormats(bytes);
      if (!picture) return picture.error();
      ImageRef image = Image::Make(std::move(picture->raster), 1.0, picture->orientation);
      if (image == nullptr) return Error{ErrorKind::kIo, "out of memory"};
      return image;
    }
    Result<RasterRef> raster = jpeg ? ReadJPEG(bytes) : ReadPNG(bytes);
    if (!raster) return raster.error();
    const ImageOrientation orientation =
        jpeg ? ImageOrientationFromExif(ExifOrientation(bytes)) : kOrientationUp;
    ImageRef image = Image::Make(std::move(raster).value(), 1.0, orientation);
    if (image == nullptr) return Error{ErrorKind::kIo, "out of memory"};
    return image;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

// Files are read into memory that is not cleared first (a pass over every byte saved), dropped
// once the picture is decoded.
Result<ImageRef> ReadImageFile(const std::string& path) noexcept {
  try {
    const Result<internal::FileBytes> bytes =
        internal::ReadRegularFileBytes(path, kMaxImageFileBytes);
    if (!bytes) return bytes.error();
    return ReadImage(bytes->bytes());
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Result<ImageRef> ReadImage(std::span<const std::uint8_t> bytes,
                           const ReadOptions& options) noexcept {
  if (options.width == 0 && options.height == 0) return ReadImage(bytes);
  try {
    return ReadAt(bytes,
                  [&](PixelSize shown) { return ReadSize(shown.width, shown.height, options); });
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

Result<ImageRef> ReadImageAtSize(std::span<const std::uint8_t> bytes, PixelSize size) noexcept {
  try {
    return ReadAt(bytes, [&](PixelSize shown) {
      return PixelSize{std::clamp<std::uint32_t>(size.width, 1, shown.width),
                       std::clamp<std::uint32_t>(size.height, 1, shown.height)};
    });
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

Result<ImageRef> ReadImageFile(const std::string& path, const ReadOptions& options) noexcept {
  try {
    const Result<internal::FileBytes> bytes =
        internal::ReadRegularFileBytes(path, kMaxImageFileBytes);
    if (!bytes) return bytes.error();
    return ReadImage(bytes->bytes(), options);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

ImageRef LoadImage(std::span<const std::uint8_t> bytes) noexcept {
  Result<ImageRef> image = ReadImage(bytes);
  return image ? std::move(image).value() : nullptr;
}

ImageRef LoadImage(const std::string& path) noexcept {
  Result<ImageRef> image = ReadImageFile(path);
  return image ? std::move(image).value() : nullptr;
}

RasterRef UprightRaster(const Image& image) noexcept {
  const RasterRef& raster = image.raster();
  if (raster == nullptr || image.orientation() == kOrientationUp) return raster;
  // Drawn 1:1 with the nearest pixel, so the turn moves pixels without changing them.
  const bool transposed = Image::IsTransposed(image.orientation());
  const double w = transposed ? raster->height() : raster->width();
  const double h = transposed ? raster->width() : raster->height();
  auto context = GraphicsContext::MakeImageSurface({w, h}, raster->IsOpaque(), 1.0);
  if (context == nullptr) return nullptr;
  context->SetInterpolationQuality(kInterpolationNone);
  context->DrawImageInRect(image, {0, 0, w, h});
  const ImageRef upright = context->CreateImage();
  return upright ? upright->raster() : nullptr;
}

std::optional<Data> PNGData(const Image& image) noexcept {
  const RasterRef raster = UprightRaster(image);
  if (raster == nullptr) return std::nullopt;
  return EncodePNG(*raster);
}

std::optional<Data> JPEGData(const Image& image, double quality) noexcept {
  const RasterRef raster = UprightRaster(image);
  if (raster == nullptr) return std::nullopt;
  return EncodeJPEG(*raster, quality);
}

namespace {

Status WriteEncoded(const std::string& path, const std::optional<Data>& data, const char* format) {
  if (!data) return Error{ErrorKind::kUnsupported, std::string("cannot encode as ") + format};
  return WriteFileWhole(path, *data);
}

}  // namespace

Status WritePNGFile(const Image& image, const std::string& path) noexcept {
  const RasterRef raster = UprightRaster(image);
  if (raster == nullptr) return WriteEncoded(path, std::nullopt, "png");
  // The encoder's own reason (memory) rather than a bare refusal.
  Result<Data> data = TryEncodePNG(*raster);
  if (!data) return data.error();
  return WriteFileWhole(path, *data);
}

Status WriteJPEGFile(const Image& image, double quality, const std::string& path) noexcept {
  return WriteEncoded(path, JPEGData(image, quality), "jpeg");
}

bool SavePNG(const Image& image, const std::string& path) noexcept {
  return WritePNGFile(image, path).ok();
}

bool SaveJPEG(const Image& image, double quality, const std::string& path) noexcept {
  return WriteJPEGFile(image, quality, path).ok();
}

}  // namespace kelvane::platform
