// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/image_effects.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "kelvane/platform/device/appearance.h"
#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/graphics/internal/drawing_failed.h"
#include "kelvane/platform/graphics/internal/pixel_memory.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane {
namespace {

using platform::Color;
using platform::GraphicsContext;
using platform::Image;
using platform::MutablePixelView;
using platform::PixelLayout;
using platform::Raster;
using platform::RasterRef;
using platform::Rect;
using platform::Size;
using platform::internal::PixelMemoryPool;

// Radii and factors this close to their neutral values count as no effect: the single-precision
// epsilon, as callers pass values that went through floats.
constexpr double kEpsilon = 1.1920928955078125e-07;

// A working buffer of packed rows (4 bytes per pixel, no padding), on memory from the pool,
// which it gives back unless it was handed to a result. The kernels and copies write every
// byte before it is read, so the memory is not cleared.
class WorkBuffer {
 public:
  WorkBuffer() = default;
  WorkBuffer(const WorkBuffer&) = delete;
  WorkBuffer& operator=(const WorkBuffer&) = delete;
  ~WorkBuffer() { PixelMemoryPool::Shared().Give(block_); }

  [[nodiscard]] bool Allocate(std::uint32_t width, std::uint32_t height) {
    const std::size_t row = std::size_t{width} * 4;
    const std::size_t bytes = row * height;
    if (width == 0 || height == 0 || bytes > platform::kMaxRasterBytes) return false;
    block_ = PixelMemoryPool::Shared().Take(bytes, PixelMemoryPool::Clear::kNone);
    buffer_ = {PixelLayout::Working(width, height, row), block_.data};
    return block_.data != nullptr;
  }

  [[nodiscard]] const MutablePixelView& get() const { return buffer_; }
  [[nodiscard]] std::uint32_t* pixels() const { return static_cast<std::uint32_t*>(buffer_.data); }
  [[nodiscard]] std::size_t count() const {
    return std::size_t{buffer_.layout.width} * buffer_.layout.height;
  }

  // Gives the memory up to the caller, who hands it back to the pool.
  [[nodiscard]] PixelMemoryPool::Block Release() {
    buffer_.data = nullptr;
    return std::exchange(block_, {});
  }

 private:
  PixelMemoryPool::Block block_;
  MutablePixelView buffer_;
};

// Runs rows(y0, y1) over rows [0, height) of a picture `width` pixels wide: in bands on the
// worker pool, as the kernels split theirs.
template <typename Rows>
void InBands(std::uint32_t width, std::uint32_t height, const Rows& rows) {
  platform::ApplyToRowBands(platform::RowBands(std::uint64_t{width} * height, height), height,
                            [&](std::size_t, std::uint32_t y0, std::uint32_t y1) { rows(y0, y1); });
}

// B, G, R, A in memory: alpha is the top byte of the little-endian pixel word.
constexpr std::uint32_t kAlphaBits =
    std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;

// Pixels of an opaque source carry an unused byte where alpha goes; the working format reads it
// as alpha, so it is made fully opaque.
void MakeOpaque(std::uint32_t* __restrict p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) p[i] |= kAlphaBits;
}

// A saturation raise can push a premultiplied colour above its pixel's alpha, which no colour
// has; such values are cut to the alpha so that drawing and encoding the result stay defined.
// Opaque pictures never need it.
void ClampToAlpha(const WorkBuffer& buffer) {
  const std::uint32_t width = buffer.get().layout.width;
  InBands(width, buffer.get().layout.height, [&](std::uint32_t y0, std::uint32_t y1) {
    auto* __restrict p = buffer.get().Row(y0);
    const std::size_t n = std::size_t{width} * (y1 - y0);
    for (std::size_t i = 0; i < n; ++i, p += 4) {
      const std::uint8_t a = p[3];
      p[0] = std::min(p[0], a);
      p[1] = std::min(p[1], a);
      p[2] = std::min(p[2], a);
    }
  });
}

// Opens an image surface as the current context and closes it however the operation ends.
class SurfaceScope {
 public:
  SurfaceScope(Size size, bool opaque, double scale)
      : open_(platform::BeginImageContextWithOptions(size, opaque, scale)) {}
  SurfaceScope(const SurfaceScope&) = delete;
  SurfaceScope& operator=(const SurfaceScope&) = delete;
  ~SurfaceScope() {
    if (!taken_) platform::EndImageContext();
  }
  [[nodiscard]] GraphicsContext* context() const {
    return open_ && !taken_ ? platform::GetCurrentContext() : nullptr;
  }
  // The picture drawn, taking the surface's pixels over, and the surface closed.
  [[nodiscard]] ImageRef Take() {
    taken_ = true;
    return platform::TakeImageAndEndImageContext();
  }

 private:
  bool open_;
  bool taken_ = false;
};

// Turns the y-down space of an image surface upside down (or back): rasters drawn with
// DrawImage() then land upright.
void Flip(GraphicsContext& context, double height) {
  context.ScaleCTM(1.0, -1.0);
  context.TranslateCTM(0.0, -height);
}

// Draws the source's pixels upright into `rect` of the flipped context. An oriented source is
// placed the way it is displayed, which the y-down drawing does, so the flip is undone around
// it. A template image is drawn as its pixels too, as the blur sees them.
bool DrawSharp(GraphicsContext& context, const Image& image, Rect rect) {
  if (image.orientation() == platform::kOrientationUp) {
    context.DrawImage(rect, *image.raster());
    return true;
  }
  const ImageRef plain = Image::Make(image.raster(), image.scale(), image.orientation());
  if (plain == nullptr) return false;
  context.SaveGState();
  Flip(context, rect.height);
  context.DrawImageInRect(*plain, rect);
  context.RestoreGState();
  return true;
}

// Fills `input` with the source turned upright, in the working format.
bool FillInput(const Image& image, const WorkBuffer& input) {
  const RasterRef working = platform::InWorkingFormat(image.raster());
  if (working == nullptr) return false;
  const bool opaque = working->IsOpaque();
  if (image.orientation() == platform::kOrientationUp) {
    // The common case: a copy row by row.
    InBands(working->width(), working->height(), [&](std::uint32_t y0, std::uint32_t y1) {
      for (std::uint32_t y = y0; y < y1; ++y) {
        std::uint32_t* row = input.pixels() + std::size_t{y} * working->width();
        std::memcpy(row, working->Row(y), std::size_t{working->width()} * 4);
        if (opaque) MakeOpaque(row, working->width());
      }
    });
    return true;
  }
  // Same sides: an exact copy, turned as the orientation asks. The kernels take one layout on
  // both sides, so an opaque source is read as the working format; its unused byte is set
  // below.
  platform::PixelView source = working->view();
  source.layout.bitmap_info = platform::kWorkingBitmapInfo;
  if (!platform::ResampleOriented(source, input.get(), image.orientation())) return false;
  if (opaque) MakeOpaque(input.pixels(), input.count());
  return true;
}

// The picture blurred, its saturation changed, and composed as the general operation says, as
// an image surface of `size` points at the image's scale would draw it. The result is drawn in
// one of the working buffers, which the image takes over: without a mask straight over the
// effect, with one into the spare buffer. Null when a buffer cannot be made or a kernel
// refuses.
ImageRef ApplyEffect(const Image& image, Size size, double radius, double saturation,
                     const ColorRef& tint, const RasterRef& mask) {
  const bool transposed = Image::IsTransposed(image.orientation());
  const std::uint32_t width = transposed ? image.raster()->height() : image.raster()->width();
  const std::uint32_t height = transposed ? image.raster()->width() : image.raster()->height();
  const bool opaque = image.raster()->IsOpaque();
  // The pixel sides of the image surface the operation stands for; refused as it would be.
  const double pw = std::ceil(size.width * image.scale() - 1e-9);
  const double ph = std::ceil(size.height * image.scale() - 1e-9);
  if (pw != width || ph != height || width > platform::kMaxSurfaceSide ||
      height > platform::kMaxSurfaceSide) {
    return nullptr;
  }
  WorkBuffer input, output;
  if (!input.Allocate(width, height) || !FillInput(image, input)) return nullptr;
  if (!output.Allocate(width, height)) return nullptr;
  WorkBuffer* result = &input;
  WorkBuffer* spare = &output;

  if (radius > kEpsilon) {
    // Blurs wider than the widest box the filter takes use that box.
    const std::uint32_t k =
        std::min(platform::BoxKernelSize(radius, image.scale()), platform::kMaxBoxKernel);
    const MutablePixelView& a = input.get();
    const MutablePixelView& b = output.get();
    // The filter allocates a small block for each band of a pass.
    if (!platform::BoxConvolve(a, b, k, k, nullptr, 0) ||
        !platform::BoxConvolve(b, a, k, k, nullptr, 0) ||
        !platform::BoxConvolve(a, b, k, k, nullptr, 0)) {
      return nullptr;
    }
    std::swap(result, spare);
  }

  if (std::fabs(saturation - 1.0) > kEpsilon) {
    if (!platform::ColorMatrixMultiply(result->get(), spare->get(),
                                       platform::SaturationMatrix(saturation))) {
      return nullptr;
    }
    std::swap(result, spare);
    if (!opaque) ClampToAlpha(*result);
  }

  // The effect's pixels, borrowed while they are drawn under the mask.
  const RasterRef effect = Raster::Wrap(result->get().layout, result->get().data, [] {});
  if (effect == nullptr) return nullptr;
  WorkBuffer* target = result;
  if (mask != nullptr) {
    target = spare;
    std::memset(target->get().data, 0, target->count() * 4);  // as a new surface starts
  }
  // Drawn and handed out without alpha when the source has none, as the surface would be.
  const MutablePixelView pixels{PixelLayout::Working(width, height, std::size_t{width} * 4, opaque),
                                target->get().data};
  const std::unique_ptr<GraphicsContext> context =
      GraphicsContext::MakeBitmap(pixels.layout, pixels.data);
  if (context == nullptr) return nullptr;
  // The image surface's user space: points, origin top left, y down.
  context->TranslateCTM(0.0, height);
  context->ScaleCTM(image.scale(), -image.scale());
  Flip(*context, size.height);
  const Rect rect{0, 0, size.width, size.height};
  if (mask != nullptr) {
    if (!DrawSharp(*context, image, rect)) return nullptr;
    context->SaveGState();
    context->ClipToMask(rect, *mask);
    context->DrawImage(rect, *effect);
    context->RestoreGState();
  }
  if (tint != nullptr) {
    context->SaveGState();
    context->SetFillColor(tint);
    context->FillRect(rect);
    context->RestoreGState();
  }
  // Flushes the drawing into the pixels before they are handed over; a drawing the engine could
  // not finish (memory ran out) would hand out part of the picture.
  if (context->Data() != pixels.data || platform::internal::DrawingFailed(*context)) return nullptr;

  std::shared_ptr<PixelMemoryPool::Block> owner;
  try {
    owner = std::make_shared<PixelMemoryPool::Block>();
  } catch (...) {
    return nullptr;
  }
  *owner = target->Release();
  RasterRef raster = Raster::Wrap(pixels.layout, pixels.data, [owner] {
    PixelMemoryPool::Shared().Give(*owner);
    *owner = {};
  });
  if (raster == nullptr) return nullptr;  // the memory went back to the pool
  return Image::Make(std::move(raster), image.scale(), platform::kOrientationUp);
}

// The colour the tint preset lays over its effect.
ColorRef TintPresetColor(const ColorRef& color) {
  if (color == nullptr) return color;
  const ColorRef resolved = color->Resolved(platform::CurrentAppearance());
  if (resolved == nullptr) return color;
  ColorRef tint;
  if (resolved->kind() == Color::Kind::kGrey) {
    tint = Color::Grey(resolved->Components()[0], 0.6);
  } else if (const auto rgba = resolved->RGBA()) {
    tint = Color::RGB(rgba->red, rgba->green, rgba->blue, 0.6);
  }
  return tint != nullptr ? tint : color;
}

}  // namespace

void cleanupBuffer(void* /*info*/, const void* data) noexcept {
  std::free(const_cast<void*>(data));
}

ImageRef UIImageEffects::imageByApplyingLightEffectToImage(const ImageRef& image) noexcept {
  return imageByApplyingBlurToImage(image, 60, Color::Grey(1.0, 0.3), 1.8, nullptr);
}

ImageRef UIImageEffects::imageByApplyingExtraLightEffectToImage(const ImageRef& image) noexcept {
  return imageByApplyingBlurToImage(image, 40, Color::Grey(0.97, 0.82), 1.8, nullptr);
}

ImageRef UIImageEffects::imageByApplyingDarkEffectToImage(const ImageRef& image) noexcept {
  return imageByApplyingBlurToImage(image, 40, Color::Grey(0.11, 0.73), 1.8, nullptr);
}

ImageRef UIImageEffects::imageByApplyingTintEffectWithColor(const ColorRef& color,
                                                            const ImageRef& toImage) noexcept {
  return imageByApplyingBlurToImage(toImage, 20, TintPresetColor(color), -1.0, nullptr);
}

ImageRef UIImageEffects::imageByApplyingBlurToImage(const ImageRef& image, double withRadius,
                                                    const ColorRef& tintColor,
                                                    double saturationDeltaFactor,
                                                    const ImageRef& maskImage) noexcept {
  if (image == nullptr || image->raster() == nullptr) return nullptr;
  const Size size = image->size();
  if (size.width < 1 || size.height < 1) return nullptr;
  if (maskImage != nullptr && maskImage->raster() == nullptr) return nullptr;
  try {
    // The mask is placed as displayed, like the picture.
    const RasterRef mask = maskImage == nullptr ? nullptr : platform::UprightRaster(*maskImage);
    if (maskImage != nullptr && mask == nullptr) return nullptr;

    if (withRadius > kEpsilon || std::fabs(saturationDeltaFactor - 1.0) > kEpsilon) {
      return ApplyEffect(*image, size, withRadius, saturationDeltaFactor, tintColor, mask);
    }

    // Without an effect the picture is only redrawn: no working buffers at all.
    SurfaceScope surface(size, image->raster()->IsOpaque(), image->scale());
    GraphicsContext* context = surface.context();
    if (context == nullptr) return nullptr;
    Flip(*context, size.height);
    const Rect rect{0, 0, size.width, size.height};
    if (!DrawSharp(*context, *image, rect)) return nullptr;
    if (tintColor != nullptr) {
      context->SaveGState();
      context->SetFillColor(tintColor);
      context->FillRect(rect);
      context->RestoreGState();
    }
    return surface.Take();
  } catch (...) {  // std::bad_alloc
    return nullptr;
  }
}

}  // namespace kelvane
