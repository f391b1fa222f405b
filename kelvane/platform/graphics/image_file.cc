// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/image_file.h"

#include <new>

#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/internal/more_formats.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/graphics/context.h"

namespace kelvane::platform {
namespace {}  // namespace

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

Result<ImageRef> ReadImageFile(const std::string& path) noexcept {
  try {
    const Result<Data> bytes = ReadRegularFile(path, kMaxImageFileBytes);
    if (!bytes) return bytes.error();
    return ReadImage(*bytes);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
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
