#include "kelvane/platform/codecs/image_file.h"

#include <stdio.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <new>

#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/graphics/context.h"

namespace kelvane::platform {
namespace {

bool WriteWhole(const std::string& path, const std::optional<Data>& data) {
  if (!data) return false;
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data->data()),
              static_cast<std::streamsize>(data->size()));
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

ImageRef LoadImage(std::span<const std::uint8_t> bytes) noexcept {
  if (IsPNG(bytes)) {
    RasterRef raster = DecodePNG(bytes);
    return raster ? Image::Make(std::move(raster)) : nullptr;
  }
  if (IsJPEG(bytes)) {
    RasterRef raster = DecodeJPEG(bytes);
    if (raster == nullptr) return nullptr;
    return Image::Make(std::move(raster), 1.0, OrientationFromExif(ExifOrientation(bytes)));
  }
  return nullptr;
}

ImageRef LoadImage(const std::string& path) noexcept {
  try {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return nullptr;
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxImageFileBytes) return nullptr;
    Data bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (!in) return nullptr;
    return LoadImage(std::span<const std::uint8_t>(bytes));
  } catch (...) {
    return nullptr;
  }
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

bool SavePNG(const Image& image, const std::string& path) noexcept {
  try {
    return WriteWhole(path, PNGData(image));
  } catch (...) {
    return false;
  }
}

bool SaveJPEG(const Image& image, double quality, const std::string& path) noexcept {
  try {
    return WriteWhole(path, JPEGData(image, quality));
  } catch (...) {
    return false;
  }
}

}  // namespace kelvane::platform
