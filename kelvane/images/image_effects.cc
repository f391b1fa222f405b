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
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/graphics/image_surfaces.h"
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

// Radii and factors this close to their neutral values count as no effect: the single-precision
// epsilon, as callers pass values that went through floats.
constexpr double kEpsilon = 1.1920928955078125e-07;

constexpr std::size_t kPixelAlign = 64;

// A working buffer of packed rows (4 bytes per pixel, no padding). Its memory comes from
// std::aligned_alloc, so cleanupBuffer() frees it, here or in the raster it is handed to.
class WorkBuffer {
 public:
  WorkBuffer() = default;
  WorkBuffer(const WorkBuffer&) = delete;
  WorkBuffer& operator=(const WorkBuffer&) = delete;
  ~WorkBuffer() { cleanupBuffer(nullptr, buffer_.data); }

  [[nodiscard]] bool Allocate(std::uint32_t width, std::uint32_t height) {
    const std::size_t row = std::size_t{width} * 4;
    const std::size_t bytes = row * height;
    if (width == 0 || height == 0 || bytes > platform::kMaxRasterBytes) return false;
    buffer_.data =
        std::aligned_alloc(kPixelAlign, (bytes + kPixelAlign - 1) / kPixelAlign * kPixelAlign);
    buffer_.layout = PixelLayout::Working(width, height, row);
    return buffer_.data != nullptr;
  }

  [[nodiscard]] const MutablePixelView& get() const { return buffer_; }
  [[nodiscard]] std::uint32_t* pixels() const { return static_cast<std::uint32_t*>(buffer_.data); }
  [[nodiscard]] std::size_t count() const {
    return std::size_t{buffer_.layout.width} * buffer_.layout.height;
  }

  // Gives the memory up to the caller, who frees it with cleanupBuffer().
  [[nodiscard]] void* Release() { return std::exchange(buffer_.data, nullptr); }

 private:
  MutablePixelView buffer_;
};

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
  auto* __restrict p = static_cast<std::uint8_t*>(buffer.get().data);
  const std::size_t n = buffer.count();
  for (std::size_t i = 0; i < n; ++i, p += 4) {
    const std::uint8_t a = p[3];
    p[0] = std::min(p[0], a);
    p[1] = std::min(p[1], a);
    p[2] = std::min(p[2], a);
  }
}

// Opens an image surface as the current context and closes it however the operation ends.
class SurfaceScope {
 public:
  SurfaceScope(Size size, bool opaque, double scale)
      : open_(platform::BeginImageContextWithOptions(size, opaque, scale)) {}
  SurfaceScope(const SurfaceScope&) = delete;
  SurfaceScope& operator=(const SurfaceScope&) = delete;
  ~SurfaceScope() { platform::EndImageContext(); }
  [[nodiscard]] GraphicsContext* context() const {
    return open_ ? platform::GetCurrentContext() : nullptr;
  }

 private:
  bool open_;
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
    for (std::uint32_t y = 0; y < working->height(); ++y) {
      std::uint32_t* row = input.pixels() + std::size_t{y} * working->width();
      std::memcpy(row, working->Row(y), std::size_t{working->width()} * 4);
      if (opaque) MakeOpaque(row, working->width());
    }
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

// The raster over the result buffer's memory, which it takes over; a copy when the raster
// cannot take it (the memory is freed either way).
RasterRef HandOver(WorkBuffer& result) {
  const PixelLayout layout = result.get().layout;
  std::shared_ptr<void> owner(result.Release(), [](void* p) { cleanupBuffer(nullptr, p); });
  RasterRef raster = Raster::Wrap(layout, owner.get(), [owner]() mutable { owner.reset(); });
  if (raster == nullptr) raster = Raster::Copy(layout, owner.get());
  return raster;
}

// Blurs, changes saturation and composes the effect into `context`. False when a buffer cannot
// be made or a kernel refuses.
bool DrawEffect(GraphicsContext& context, const Image& image, double radius, double saturation,
                const RasterRef& mask, Rect rect) {
  const bool transposed = Image::IsTransposed(image.orientation());
  const std::uint32_t width = transposed ? image.raster()->height() : image.raster()->width();
  const std::uint32_t height = transposed ? image.raster()->width() : image.raster()->height();
  WorkBuffer input, output;
  if (!input.Allocate(width, height) || !FillInput(image, input)) return false;
  if (!output.Allocate(width, height)) return false;
  WorkBuffer* result = &input;
  WorkBuffer* spare = &output;

  if (radius > kEpsilon) {
    // Blurs wider than the widest box the filter takes use that box.
    const std::uint32_t k =
        std::min(platform::BoxKernelSize(radius, image.scale()), platform::kMaxBoxKernel);
    // One scratch block for the three passes; without one the filter allocates its own.
    std::size_t scratch_size = platform::BoxConvolveScratchSize(width, k, k);
    std::unique_ptr<void, decltype(&std::free)> scratch(std::malloc(scratch_size), &std::free);
    if (scratch == nullptr) scratch_size = 0;
    const MutablePixelView& a = input.get();
    const MutablePixelView& b = output.get();
    if (!platform::BoxConvolve(a, b, k, k, scratch.get(), scratch_size) ||
        !platform::BoxConvolve(b, a, k, k, scratch.get(), scratch_size) ||
        !platform::BoxConvolve(a, b, k, k, scratch.get(), scratch_size)) {
      return false;
    }
    std::swap(result, spare);
  }

  if (std::fabs(saturation - 1.0) > kEpsilon) {
    if (!platform::ColorMatrixMultiply(result->get(), spare->get(),
                                       platform::SaturationMatrix(saturation))) {
      return false;
    }
    std::swap(result, spare);
    if (!image.raster()->IsOpaque()) ClampToAlpha(*result);
  }

  RasterRef effect = HandOver(*result);
  if (effect == nullptr) return false;
  if (mask != nullptr) {
    if (!DrawSharp(context, image, rect)) return false;
    context.SaveGState();
    context.ClipToMask(rect, *mask);
  } else {
    context.SaveGState();
  }
  context.DrawImage(rect, *effect);
  context.RestoreGState();
  return true;
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

    SurfaceScope surface(size, image->raster()->IsOpaque(), image->scale());
    GraphicsContext* context = surface.context();
    if (context == nullptr) return nullptr;
    Flip(*context, size.height);
    const Rect rect{0, 0, size.width, size.height};

    // Without an effect the picture is only redrawn: no working buffers at all.
    if (withRadius <= kEpsilon && std::fabs(saturationDeltaFactor - 1.0) <= kEpsilon) {
      if (!DrawSharp(*context, *image, rect)) return nullptr;
    } else if (!DrawEffect(*context, *image, withRadius, saturationDeltaFactor, mask, rect)) {
      return nullptr;
    }

    if (tintColor != nullptr) {
      context->SaveGState();
      context->SetFillColor(tintColor);
      context->FillRect(rect);
      context->RestoreGState();
    }
    return platform::GetImageFromCurrentImageContext();
  } catch (...) {  // std::bad_alloc
    return nullptr;
  }
}

}  // namespace kelvane
