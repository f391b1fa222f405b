// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/pixels/raster.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kelvane/platform/pixels/internal/pixel_format.h"

namespace kelvane::platform {

unsigned Raster::BytesPerPixel(std::uint32_t info, ColorSpace space) noexcept {
  return PixelLayout::BytesPerPixel(info, space);
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

RasterRef Raster::Make(const PixelLayout& layout, std::vector<std::uint8_t> pixels) noexcept {
  if (!layout.IsValid() || pixels.size() < layout.ByteCount()) return nullptr;
  try {
    std::shared_ptr<Raster> raster(new Raster(layout.width, layout.height, layout.bytes_per_row,
                                              layout.bitmap_info, layout.space,
                                              layout.BytesPerPixel()));
    raster->owned_ = std::move(pixels);
    raster->data_ = raster->owned_.data();
    return raster;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RasterRef Raster::Copy(const PixelLayout& layout, const void* pixels) noexcept {
  if (pixels == nullptr || !layout.IsValid()) return nullptr;
  try {
    const auto* bytes = static_cast<const std::uint8_t*>(pixels);
    return Make(layout, std::vector<std::uint8_t>(bytes, bytes + layout.ByteCount()));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RasterRef Raster::Wrap(const PixelLayout& layout, const void* pixels,
                       std::function<void()> release) noexcept {
  try {
    if (layout.IsValid() && pixels != nullptr) {
      std::shared_ptr<Raster> raster(new Raster(layout.width, layout.height, layout.bytes_per_row,
                                                layout.bitmap_info, layout.space,
                                                layout.BytesPerPixel()));
      raster->data_ = static_cast<const std::uint8_t*>(pixels);
      raster->release_ = std::move(release);
      return raster;
    }
  } catch (const std::bad_alloc&) {
  }
  if (release) release();
  return nullptr;
}

// Deprecated forms, kept for programs built against them.

RasterRef Raster::Make(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
                       std::uint32_t info, ColorSpace space,
                       std::vector<std::uint8_t> pixels) noexcept {
  return Make(PixelLayout{width, height, bytes_per_row, info, space}, std::move(pixels));
}

RasterRef Raster::Copy(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
                       std::uint32_t info, ColorSpace space, const void* pixels) noexcept {
  return Copy(PixelLayout{width, height, bytes_per_row, info, space}, pixels);
}

RasterRef Raster::Wrap(std::uint32_t width, std::uint32_t height, std::size_t bytes_per_row,
                       std::uint32_t info, ColorSpace space, const void* pixels,
                       std::function<void()> release) noexcept {
  return Wrap(PixelLayout{width, height, bytes_per_row, info, space}, pixels, std::move(release));
}

bool Raster::IsWorkingFormat() const noexcept { return layout().IsWorkingFormat(); }

bool Raster::IsOpaque() const noexcept { return layout().IsOpaque(); }

std::uint32_t Raster::PremultipliedPixel(std::uint32_t x, std::uint32_t y) const noexcept {
  if (x >= width_ || y >= height_) return 0;
  const internal::PixelFormat format(layout());
  const internal::Rgba p = format.Read(Row(y) + std::size_t{x} * bytes_per_pixel_);
  return (std::uint32_t{p.a} << 24) | (std::uint32_t{p.r} << 16) | (std::uint32_t{p.g} << 8) | p.b;
}

RasterRef ConvertRaster(const Raster& raster, std::uint32_t info, ColorSpace space) noexcept {
  const PixelLayout to = PixelLayout::Packed(raster.width(), raster.height(), info, space);
  if (!to.IsValid()) return nullptr;
  try {
    std::vector<std::uint8_t> pixels(to.ByteCount());
    internal::ConvertRows(raster.view(), MutablePixelView{to, pixels.data()});
    return Raster::Make(to, std::move(pixels));
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
