// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/resize.h"

#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "kelvane/images/internal/resize_routes.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/graphics/pixel_kernels.h"

namespace kelvane {
namespace Resize {

using platform::AffineTransform;
using platform::GraphicsContext;
using platform::Image;
using platform::ImageOrientation;
using platform::ImageRef;
using platform::InterpolationQuality;
using platform::PixelLayout;
using platform::Raster;
using platform::RasterRef;
using platform::Rect;

namespace {

// How each orientation lays raster position (u, v) (v counted from the first row, both 0..1)
// onto the displayed picture (X, Y), Y downwards: X = ax u + bx v + cx, Y = ay u + by v + cy.
// The resampler turns pixels the same way (pixel_kernels.h).
struct Turn {
  double ax, bx, cx, ay, by, cy;
};
constexpr Turn kTurns[8] = {
    {1, 0, 0, 0, 1, 0},    // up
    {-1, 0, 1, 0, -1, 1},  // down
    {0, 1, 0, -1, 0, 1},   // left
    {0, -1, 1, 1, 0, 0},   // right
    {-1, 0, 1, 0, 1, 0},   // up mirrored
    {1, 0, 0, 0, -1, 1},   // down mirrored
    {0, 1, 0, 1, 0, 0},    // left mirrored
    {0, -1, 1, -1, 0, 1},  // right mirrored
};

// Far below a pixel for any side the engine draws (32767 x 1e-9), far above the 1e-16 terms the
// sine and cosine of the turns leave where 0 is exact.
constexpr double kTurnTolerance = 1e-9;

bool Near(double a, double b) { return std::fabs(a - b) <= kTurnTolerance; }

// Non-premultiplied alpha becomes premultiplied; the byte order is dropped.
std::uint32_t BitmapInfoFor(const Raster& raster) {
  switch (raster.alpha_info()) {
    case platform::AlphaInfo::kLast:
      return static_cast<std::uint32_t>(platform::AlphaInfo::kPremultipliedLast);
    case platform::AlphaInfo::kFirst:
      return static_cast<std::uint32_t>(platform::AlphaInfo::kPremultipliedFirst);
    default:
      return raster.bitmap_info() & platform::kBitmapAlphaInfoMask;
  }
}

// 4-byte RGB with premultiplied alpha or a skip byte: the layouts whose pixels can be averaged
// channel by channel as they lie.
bool Averageable(std::uint32_t info) {
  const std::uint32_t alpha = info & platform::kBitmapAlphaInfoMask;
  const std::uint32_t order = info & platform::kBitmapByteOrderMask;
  return (alpha == 1 || alpha == 2 || alpha == 5 || alpha == 6) &&
         (order == platform::kBitmapByteOrderDefault ||
          order == platform::kBitmapByteOrder32Little || order == platform::kBitmapByteOrder32Big);
}

bool Little(std::uint32_t info) {
  return (info & platform::kBitmapByteOrderMask) == platform::kBitmapByteOrder32Little;
}

// Reverses each pixel's bytes and sets the skip byte, as the drawing route leaves it (255).
void FixPixels(std::uint32_t* __restrict pixels, std::size_t count, bool reverse,
               std::uint32_t skip_mask) {
  if (reverse) {
    for (std::size_t i = 0; i < count; ++i) pixels[i] = __builtin_bswap32(pixels[i]) | skip_mask;
  } else if (skip_mask != 0) {
    for (std::size_t i = 0; i < count; ++i) pixels[i] |= skip_mask;
  }
}

// The mask of the unused byte of a skip layout in a pixel read as a native 32-bit word.
std::uint32_t SkipMask(std::uint32_t info) {
  const std::uint32_t alpha = info & platform::kBitmapAlphaInfoMask;
  if (alpha != 5 && alpha != 6) return 0;
  unsigned position = alpha == 5 ? 3 : 0;
  if (Little(info)) position = 3 - position;
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  bytes[position] = 0xFF;
  std::uint32_t mask;
  std::memcpy(&mask, bytes, 4);
  return mask;
}

bool SidesAllowed(std::uint32_t width, std::uint32_t height) {
  return width >= 1 && height >= 1 && width <= platform::kMaxSurfaceSide &&
         height <= platform::kMaxSurfaceSide &&
         std::uint64_t{width} * 4 * height <= platform::kMaxRasterBytes;
}

// Whether the resampler takes `source` into `to`: the layouts it averages, sides the engine
// allows. Where it does, its null is memory running out, which no other route may paper over
// with different pixels.
bool ResamplerTakes(const Raster& source, const PixelLayout& to) {
  return to.space == platform::ColorSpace::kRGB && to.bytes_per_row == std::size_t{to.width} * 4 &&
         source.color_space() == platform::ColorSpace::kRGB && source.bits_per_pixel() == 32 &&
         Averageable(source.bitmap_info()) && Averageable(to.bitmap_info) &&
         (source.bitmap_info() & platform::kBitmapAlphaInfoMask) ==
             (to.bitmap_info & platform::kBitmapAlphaInfoMask) &&
         SidesAllowed(to.width, to.height);
}

// ResamplerTakes(), and no displayed side grows: what ReduceOriented() takes.
bool ReducerTakes(const Raster& source, ImageOrientation orientation, const PixelLayout& to) {
  const bool transposed = Image::IsTransposed(orientation);
  return ResamplerTakes(source, to) &&
         to.width <= (transposed ? source.height() : source.width()) &&
         to.height <= (transposed ? source.width() : source.height());
}

}  // namespace

namespace internal {

std::optional<ImageOrientation> OrientationOfDrawing(const AffineTransform& t, const Rect& r,
                                                     std::uint32_t width, std::uint32_t height,
                                                     std::uint32_t bitmap_width,
                                                     std::uint32_t bitmap_height) noexcept {
  if (width == 0 || height == 0 || bitmap_width == 0 || bitmap_height == 0) return std::nullopt;
  // Raster (u, v) lands in the rect at (x + u w, y + h - v h) (first row on top), the transform
  // takes it to bitmap space (y up), and the bitmap's rows run downwards from its top.
  const double bw = bitmap_width, bh = bitmap_height;
  const double top = r.y + r.height;
  const Turn drawn{
      t.a * r.width / bw,  -t.c * r.height / bw, (t.a * r.x + t.c * top + t.tx) / bw,
      -t.b * r.width / bh, t.d * r.height / bh,  (bh - t.b * r.x - t.d * top - t.ty) / bh};
  for (int o = 0; o < 8; ++o) {
    const Turn& k = kTurns[o];
    if (Near(drawn.ax, k.ax) && Near(drawn.bx, k.bx) && Near(drawn.cx, k.cx) &&
        Near(drawn.ay, k.ay) && Near(drawn.by, k.by) && Near(drawn.cy, k.cy)) {
      return platform::ImageOrientationFromInt(o);
    }
  }
  return std::nullopt;
}

namespace {

// Both routes of the resampler: growth refused without a filter.
RasterRef Resample(const Raster& source, ImageOrientation orientation, const PixelLayout& to,
                   std::optional<platform::EnlargeFilter> filter) noexcept {
  const std::uint32_t width = to.width, height = to.height, bitmap_info = to.bitmap_info;
  if (!ResamplerTakes(source, to)) return nullptr;
  const std::size_t count = std::size_t{width} * height;
  // Words, so that the fix-up below reads the pixels as what they are.
  auto* memory = new (std::nothrow) std::uint32_t[count];
  if (memory == nullptr) return nullptr;
  // The resampler writes the source's layout; the fix-up below turns it into the one asked for.
  PixelLayout resampled = to;
  resampled.bitmap_info = source.bitmap_info();
  const platform::MutablePixelView out{resampled, memory};
  if (!(filter ? platform::ResampleOriented(source.view(), out, orientation, *filter)
               : platform::ResampleOriented(source.view(), out, orientation))) {
    delete[] memory;
    return nullptr;
  }
  FixPixels(memory, count, Little(source.bitmap_info()) != Little(bitmap_info),
            SkipMask(bitmap_info));
  return Raster::Wrap(to, memory, [memory] { delete[] memory; });
}

}  // namespace

RasterRef ReduceOriented(const Raster& source, ImageOrientation orientation,
                         const PixelLayout& to) noexcept {
  return Resample(source, orientation, to, std::nullopt);
}

RasterRef ResampleOriented(const Raster& source, ImageOrientation orientation,
                           const PixelLayout& to, platform::EnlargeFilter filter) noexcept {
  return Resample(source, orientation, to, filter);
}

RasterRef DrawResized(const Raster& source, const PixelLayout& layout,
                      const AffineTransform& transform, const Rect& rect,
                      InterpolationQuality quality) noexcept {
  const auto bitmap = GraphicsContext::MakeBitmap(layout, nullptr);
  if (bitmap == nullptr) return nullptr;
  bitmap->ConcatCTM(transform);
  bitmap->SetInterpolationQuality(quality);
  bitmap->DrawImage(rect, source);
  const ImageRef drawn = bitmap->CreateImage();
  return drawn != nullptr ? drawn->raster() : nullptr;
}

}  // namespace internal

ImageRef resizedImage(const Image& image, platform::Size newSize, int quality) noexcept {
  return resizedImage(image, newSize, transformForOrientation(image, newSize),
                      Image::IsTransposed(image.orientation()), quality);
}

ImageRef resizedImageWithContentMode(const Image& image, std::int64_t contentMode,
                                     platform::Size bounds, int quality) noexcept {
  const platform::Size size = image.size();
  const double h = bounds.width / size.width;
  const double v = bounds.height / size.height;
  // Fit shows the whole image in the bounds; every other mode covers them.
  const double ratio = contentMode == platform::kContentModeFit ? (h < v ? h : v) : (h > v ? h : v);
  return resizedImage(image, {size.width * ratio, size.height * ratio}, quality);
}

ImageRef resizedImageWithRatio(const Image& image, double ratio, int quality) noexcept {
  const platform::Size size = image.size();
  return resizedImage(image, {size.width * ratio, size.height * ratio}, quality);
}

ImageRef resizedImage(const Image& image, platform::Size newSize, const AffineTransform& transform,
                      bool drawTransposed, int number) noexcept {
  const InterpolationQuality quality = platform::InterpolationQualityFromInt(number);
  const RasterRef& raster = image.raster();
  // A negative side is no size at all: taken as it stands, the rect would be turned around and
  // the picture drawn outside the bitmap, leaving it black.
  if (raster == nullptr || !(newSize.width > 0 && newSize.height > 0)) return nullptr;
  const Rect bounds = Rect(0, 0, newSize.width, newSize.height).Integral();
  // Non-finite sides and sides the engine refuses make no bitmap; checked before the
  // conversion to whole numbers, which would be undefined for them.
  if (!(bounds.width >= 1 && bounds.height >= 1 && bounds.width <= platform::kMaxSurfaceSide &&
        bounds.height <= platform::kMaxSurfaceSide && std::isfinite(bounds.x) &&
        std::isfinite(bounds.y))) {
    return nullptr;
  }
  const auto width = static_cast<std::uint32_t>(bounds.width);
  const auto height = static_cast<std::uint32_t>(bounds.height);
  const std::uint32_t info = BitmapInfoFor(*raster);
  const Rect rect = drawTransposed ? Rect(0, 0, bounds.height, bounds.width) : bounds;
  RasterRef result;
  const std::optional<ImageOrientation> turn = internal::OrientationOfDrawing(
      transform, rect, raster->width(), raster->height(), width, height);
  if (turn) {
    const bool transposed = Image::IsTransposed(*turn);
    const bool kept = (transposed ? height : width) == raster->width() &&
                      (transposed ? width : height) == raster->height();
    if (quality != platform::kInterpolationNone || kept) {
      // High enlarges with the cubic; default, low and medium bilinearly, as the engine draws.
      const platform::EnlargeFilter filter = quality == platform::kInterpolationHigh
                                                 ? platform::EnlargeFilter::kCubic
                                                 : platform::EnlargeFilter::kBilinear;
      const PixelLayout layout =
          PixelLayout::Packed(width, height, info, platform::ColorSpace::kRGB);
      result = internal::ResampleOriented(*raster, *turn, layout, filter);
      // Memory ran out in the resampler: the engine would draw other pixels, not these.
      if (result == nullptr && ResamplerTakes(*raster, layout)) return nullptr;
    }
  }
  if (result == nullptr) {
    result = internal::DrawResized(*raster, {width, height, 0, info, raster->color_space()},
                                   transform, rect, quality);
  }
  if (result == nullptr) return nullptr;
  return Image::Make(std::move(result), image.scale(), platform::kOrientationUp);
}

AffineTransform transformForOrientation(const Image& image, platform::Size newSize) noexcept {
  const double w = newSize.width, h = newSize.height;
  AffineTransform t = AffineTransform::Identity();
  switch (image.orientation()) {
    case platform::kOrientationDown:
    case platform::kOrientationDownMirrored:
      t = t.Translate(w, h).Rotate(M_PI);
      break;
    case platform::kOrientationLeft:
    case platform::kOrientationLeftMirrored:
      t = t.Translate(w, 0).Rotate(M_PI_2);
      break;
    case platform::kOrientationRight:
    case platform::kOrientationRightMirrored:
      t = t.Translate(0, h).Rotate(-M_PI_2);
      break;
    default:
      break;
  }
  switch (image.orientation()) {
    case platform::kOrientationUpMirrored:
    case platform::kOrientationDownMirrored:
      t = t.Translate(w, 0).Scale(-1, 1);
      break;
    case platform::kOrientationLeftMirrored:
    case platform::kOrientationRightMirrored:
      t = t.Translate(h, 0).Scale(-1, 1);
      break;
    default:
      break;
  }
  return t;
}

platform::Size sizeInPixels(const Image& image) noexcept {
  const platform::Size size = image.size();
  return {size.width * image.scale(), size.height * image.scale()};
}

std::optional<Data> compressToJPEG(const Image& image, double quality, double limitSidePixels,
                                   platform::Size* adjustedSize) noexcept {
  const platform::Size pixels = sizeInPixels(image);
  const double longer = pixels.width > pixels.height ? pixels.width : pixels.height;
  platform::Size size = image.size();
  // Only a ratio above 1 shrinks: a negative limit (a caller's "no limit") or one that is not
  // a number leaves the picture at its size, and a limit of 0 leaves no side at all.
  if (const double ratio = longer / limitSidePixels; ratio > 1) {
    // Rounded down in single precision, as callers compare the sizes they get back in whole
    // points: 2000 / 3 comes out as 666, never as 667 from a quotient a whisker below.
    size.width = std::floor(static_cast<float>(size.width / ratio));
    size.height = std::floor(static_cast<float>(size.height / ratio));
  }
  if (adjustedSize != nullptr) *adjustedSize = size;
  const RasterRef& raster = image.raster();
  if (raster == nullptr || !(size.width > 0 && size.height > 0)) return std::nullopt;

  // The picture is the image drawn upright at its scale into (w, h) points. When that lands on
  // whole pixels and the raster can be averaged as it lies, the reduction is the resampler's:
  // the same picture, without the engine's slower filters.
  const double scale = image.scale();
  const double pw = std::round(size.width * scale), ph = std::round(size.height * scale);
  if (std::fabs(pw - size.width * scale) <= 1e-9 && std::fabs(ph - size.height * scale) <= 1e-9 &&
      raster->IsWorkingFormat() && pw <= platform::kMaxSurfaceSide &&
      ph <= platform::kMaxSurfaceSide) {
    const auto w = static_cast<std::uint32_t>(pw), h = static_cast<std::uint32_t>(ph);
    if (image.orientation() == platform::kOrientationUp && w == raster->width() &&
        h == raster->height()) {
      return platform::EncodeJPEG(*raster, quality);
    }
    const PixelLayout layout =
        PixelLayout::Packed(w, h, raster->bitmap_info(), platform::ColorSpace::kRGB);
    const RasterRef reduced = internal::ReduceOriented(*raster, image.orientation(), layout);
    if (reduced != nullptr) return platform::EncodeJPEG(*reduced, quality);
    // Memory ran out in the resampler: the renderer's filters would make another picture.
    if (ReducerTakes(*raster, image.orientation(), layout)) return std::nullopt;
  }
  platform::ImageRendererFormat format = platform::ImageRendererFormat::Default();
  format.scale = scale;
  const platform::ImageRenderer renderer(size, format);
  return renderer.JPEGData(quality, [&](GraphicsContext& context) {
    context.DrawImageInRect(image, {0, 0, size.width, size.height});
  });
}

}  // namespace Resize
}  // namespace kelvane
