#include "kelvane/platform/pixels/raster.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kelvane/platform/pixels/internal/pixel_format.h"

namespace kelvane::platform {

unsigned Raster::BytesPerPixel(std::uint32_t info, ColorSpace space) noexcept {
  if ((info & ~(kBitmapAlphaInfoMask | kBitmapByteOrderMask)) != 0) return 0;
  const std::uint32_t alpha = info & kBitmapAlphaInfoMask;
  const std::uint32_t order = info & kBitmapByteOrderMask;
  if (alpha > 7) return 0;
  if (order != kBitmapByteOrderDefault && order != kBitmapByteOrder32Little &&
      order != kBitmapByteOrder32Big) {
    return 0;
  }
  unsigned bytes = 0;
  if (alpha == 7) {
    bytes = 1;
  } else if (space == ColorSpace::kGrey) {
    bytes = alpha == 0 ? 1 : 2;
  } else {
    bytes = alpha == 0 ? 3 : 4;
  }
  if (order != kBitmapByteOrderDefault && bytes != 4) return 0;
  return bytes;
}

Raster::Raster(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
               std::uint32_t bitmap_info, ColorSpace space, unsigned bytes_per_pixel)
    : width_(width),
      height_(height),
      bytes_per_row_(bytes_per_row),
      bitmap_info_(bitmap_info),
      space_((bitmap_info & kBitmapAlphaInfoMask) == 7 ? ColorSpace::kGrey : space),
      bytes_per_pixel_(bytes_per_pixel) {}

Raster::~Raster() {
  if (release_) release_();
}

namespace {

// The bytes per pixel, or 0 when the shape cannot make a raster.
unsigned CheckShape(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
                    std::uint32_t info, ColorSpace space) {
  const unsigned bpp = Raster::BytesPerPixel(info, space);
  if (bpp == 0 || width == 0 || height == 0) return 0;
  if (bytes_per_row > kMaxRasterBytes || std::size_t{width} * bpp > bytes_per_row) return 0;
  if (bytes_per_row * height > kMaxRasterBytes) return 0;
  return bpp;
}

}  // namespace

RasterRef Raster::Make(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
                       std::uint32_t info, ColorSpace space,
                       std::vector<std::uint8_t> pixels) noexcept {
  const unsigned bpp = CheckShape(width, height, bytes_per_row, info, space);
  if (bpp == 0 || pixels.size() < bytes_per_row * height) return nullptr;
  try {
    std::shared_ptr<Raster> raster(new Raster(width, height, bytes_per_row, info, space, bpp));
    raster->owned_ = std::move(pixels);
    raster->data_ = raster->owned_.data();
    return raster;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RasterRef Raster::Copy(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
                       std::uint32_t info, ColorSpace space, const void* pixels) noexcept {
  if (pixels == nullptr || CheckShape(width, height, bytes_per_row, info, space) == 0) {
    return nullptr;
  }
  try {
    const auto* bytes = static_cast<const std::uint8_t*>(pixels);
    return Make(width, height, bytes_per_row, info, space,
                std::vector<std::uint8_t>(bytes, bytes + bytes_per_row * height));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RasterRef Raster::Wrap(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
                       std::uint32_t info, ColorSpace space, const void* pixels,
                       std::function<void()> release) noexcept {
  const unsigned bpp = CheckShape(width, height, bytes_per_row, info, space);
  try {
    if (bpp != 0 && pixels != nullptr) {
      std::shared_ptr<Raster> raster(new Raster(width, height, bytes_per_row, info, space, bpp));
      raster->data_ = static_cast<const std::uint8_t*>(pixels);
      raster->release_ = std::move(release);
      return raster;
    }
  } catch (const std::bad_alloc&) {
  }
  if (release) release();
  return nullptr;
}

bool Raster::IsWorkingFormat() const noexcept {
  return space_ == ColorSpace::kRGB &&
         (bitmap_info_ == kWorkingBitmapInfo || bitmap_info_ == kOpaqueWorkingBitmapInfo);
}

bool Raster::IsOpaque() const noexcept {
  const auto alpha = alpha_info();
  return alpha == AlphaInfo::kNone || alpha == AlphaInfo::kNoneSkipFirst ||
         alpha == AlphaInfo::kNoneSkipLast;
}

std::uint32_t Raster::PremultipliedPixel(std::uint32_t x, std::uint32_t y) const noexcept {
  if (x >= width_ || y >= height_) return 0;
  const internal::PixelFormat format(bitmap_info_, space_);
  const internal::Rgba p = format.Read(Row(y) + std::size_t{x} * bytes_per_pixel_);
  return (std::uint32_t{p.a} << 24) | (std::uint32_t{p.r} << 16) | (std::uint32_t{p.g} << 8) | p.b;
}

RasterRef ConvertRaster(const Raster& raster, std::uint32_t info, ColorSpace space) noexcept {
  const unsigned bpp = Raster::BytesPerPixel(info, space);
  if (bpp == 0) return nullptr;
  const std::size_t row = (std::size_t{raster.width()} * bpp + 3) & ~std::size_t{3};
  if (row > kMaxRasterBytes || row * raster.height() > kMaxRasterBytes) return nullptr;
  try {
    std::vector<std::uint8_t> pixels(row * raster.height());
    internal::ConvertRows(raster.data(), raster.bytes_per_row(),
                          internal::PixelFormat(raster.bitmap_info(), raster.color_space()),
                          pixels.data(), row, internal::PixelFormat(info, space), raster.width(),
                          raster.height());
    return Raster::Make(raster.width(), raster.height(), row, info, space, std::move(pixels));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RasterRef InWorkingFormat(const RasterRef& raster) noexcept {
  if (raster == nullptr || raster->IsWorkingFormat()) return raster;
  return ConvertRaster(*raster, raster->IsOpaque() ? kOpaqueWorkingBitmapInfo : kWorkingBitmapInfo,
                       ColorSpace::kRGB);
}

}  // namespace kelvane::platform
