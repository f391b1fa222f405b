// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/processing.h"

#include <cstdint>
#include <limits>

#include "kelvane/platform/graphics/internal/drawing_failed.h"

namespace kelvane {
namespace Processing {

using platform::GraphicsContext;

std::unique_ptr<GraphicsContext> CreateARGBBitmapContextFromImage(
    const platform::Raster& inImage) noexcept {
  constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();
  const std::int64_t width = inImage.width(), height = inImage.height();
  // The row and the buffer are counted in signed 32 bits by whoever walks them: a picture
  // beyond that gets no bitmap rather than a short buffer.
  const std::int64_t row = width * 4;
  if (width == 0 || height == 0 || row > kMaxCount || row * height > kMaxCount) return nullptr;
  const platform::PixelLayout layout{
      static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
      static_cast<std::size_t>(row),
      static_cast<std::uint32_t>(platform::AlphaInfo::kPremultipliedFirst),
      platform::ColorSpace::kRGB};
  return GraphicsContext::MakeBitmap(layout, nullptr);
}

void createBitmap(const platform::Image& image, TArray<Pixel>* bitmap,
                  platform::Size* Size) noexcept {
  const platform::RasterRef& raster = image.raster();
  if (raster == nullptr || bitmap == nullptr || Size == nullptr) return;
  const auto context = CreateARGBBitmapContextFromImage(*raster);
  if (context == nullptr) return;
  const double width = raster->width(), height = raster->height();
  context->DrawImage({0, 0, width, height}, *raster);
  // A drawing the engine could not finish (memory ran out) leaves part of the pixels.
  if (platform::internal::DrawingFailed(*context)) return;
  const void* data = context->Data();
  if (data == nullptr) {
    bitmap->Clear();
    *Size = {0, 0};
    return;
  }
  // At most a signed 32-bit count, as the bitmap was refused otherwise.
  const auto length = static_cast<unsigned int>(width * height * 4);
  if (!bitmap->Add(data, length)) return;
  *Size = {width, height};
}

ColorRef colorInPixel(const platform::Image& image, platform::Point point) noexcept {
  TArray<Pixel> pixels;
  platform::Size size;
  createBitmap(image, &pixels, &size);
  if (!(point.x < size.width && point.y < size.height)) return nullptr;
  // The index is truncated as a whole; a negative sum reads as 0.
  const double index = point.x + point.y * size.width;
  const unsigned int item = index > 0 ? static_cast<unsigned int>(index) : 0;
  const Pixel* pixel = pixels.At(item);
  if (pixel == nullptr) return nullptr;
  return Create::ColorForRGB(std::uint32_t{pixel->red} << 16 | std::uint32_t{pixel->green} << 8 |
                             pixel->blue);
}

}  // namespace Processing
}  // namespace kelvane
