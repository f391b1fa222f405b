// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/context.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "kelvane/platform/device/appearance.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/graphics/internal/cairo_access.h"
#include "kelvane/platform/graphics/internal/drawing_failed.h"
#include "kelvane/platform/graphics/internal/pixel_memory.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/platform/pixels/internal/pixel_format.h"

namespace kelvane::platform {
namespace {

// A counted reference to a Cairo object.
template <class T, T* (*Reference)(T*), void (*Destroy)(T*)>
class CairoRef {
 public:
  CairoRef() = default;
  explicit CairoRef(T* adopted) : p_(adopted) {}
  CairoRef(const CairoRef& other) : p_(other.p_ ? Reference(other.p_) : nullptr) {}
  CairoRef& operator=(CairoRef other) {
    std::swap(p_, other.p_);
    return *this;
  }
  ~CairoRef() {
    if (p_ != nullptr) Destroy(p_);
  }
  [[nodiscard]] T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};
using PatternRef = CairoRef<cairo_pattern_t, cairo_pattern_reference, cairo_pattern_destroy>;
using SurfaceRef = CairoRef<cairo_surface_t, cairo_surface_reference, cairo_surface_destroy>;

cairo_matrix_t ToCairo(const AffineTransform& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
  return m;
}
AffineTransform FromCairo(const cairo_matrix_t& m) { return {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0}; }

bool Finite(std::initializer_list<double> values) {
  for (double v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// The engine's filter for a raster drawn with `placement` (user space -> the raster's pixels)
// under `matrix` (user space -> device pixels).
cairo_filter_t FilterFor(InterpolationQuality quality, const cairo_matrix_t& placement,
                         const cairo_matrix_t& matrix) {
  switch (quality) {
    case kInterpolationNone:
      return CAIRO_FILTER_NEAREST;
    case kInterpolationLow:
      return CAIRO_FILTER_BILINEAR;
    case kInterpolationHigh: {
      // The engine's best filter turns an enlargement past twice into square pixels with soft
      // edges. Whenever a device pixel covers less than a raster pixel along either axis, the
      // good filter is used instead: bilinear along the enlarged axis and an area average
      // along a reduced one.
      cairo_matrix_t to_raster = matrix;
      if (cairo_matrix_invert(&to_raster) != CAIRO_STATUS_SUCCESS) return CAIRO_FILTER_BEST;
      cairo_matrix_multiply(&to_raster, &to_raster, &placement);  // device -> raster pixels
      const double across = std::hypot(to_raster.xx, to_raster.xy);
      const double down = std::hypot(to_raster.yx, to_raster.yy);
      return across < 1.0 || down < 1.0 ? CAIRO_FILTER_GOOD : CAIRO_FILTER_BEST;
    }
    default:
      return CAIRO_FILTER_GOOD;
  }
}

PatternRef SolidPattern(double r, double g, double b, double a) {
  auto clamp = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
  return PatternRef(cairo_pattern_create_rgba(clamp(r), clamp(g), clamp(b), clamp(a)));
}

// The paint of a colour in the current appearance; an empty reference when it has none.
PatternRef PatternForColor(const ColorRef& color) {
  if (color == nullptr) return {};
  const ColorRef resolved = color->Resolved(CurrentAppearance());
  if (resolved == nullptr) return {};
  if (const PatternTile* tile = resolved->Tile()) {
    SurfaceRef surface(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, static_cast<int>(tile->width), static_cast<int>(tile->height)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (std::uint32_t y = 0; y < tile->height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
      for (std::uint32_t x = 0; x < tile->width; ++x) {
        const std::uint32_t p = tile->pixels[y * tile->width + x];
        const unsigned a = p >> 24;
        row[x] = (a << 24) | (std::uint32_t{internal::Premultiply((p >> 16) & 255, a)} << 16) |
                 (std::uint32_t{internal::Premultiply((p >> 8) & 255, a)} << 8) |
                 internal::Premultiply(p & 255, a);
      }
    }
    cairo_surface_mark_dirty(surface.get());
    PatternRef pattern(cairo_pattern_create_for_surface(surface.get()));
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
    return pattern;
  }
  const auto rgba = resolved->RGBA();
  if (!rgba) return {};
  return SolidPattern(rgba->red, rgba->green, rgba->blue, rgba->alpha);
}

// The mapping of pixel space of a w x h raster placed in `rect` (first row at maxY) from user
// space, as a pattern matrix (user -> pattern).
cairo_matrix_t PlacementMatrix(const Rect& r, std::uint32_t w, std::uint32_t h) {
  const double sx = w / r.width, sy = h / r.height;
  cairo_matrix_t m;
  cairo_matrix_init(&m, sx, 0, 0, -sy, -r.x * sx, (r.y + r.height) * sy);
  return m;
}

// A Cairo surface over the raster's pixels (converted first unless in the working format);
// `keep` holds the conversion. An error surface stays empty.
SurfaceRef SurfaceForRaster(const Raster& raster, RasterRef* keep) {
  const Raster* source = &raster;
  const bool usable = raster.IsWorkingFormat() && raster.bytes_per_row() % 4 == 0 &&
                      reinterpret_cast<std::uintptr_t>(raster.data()) % 4 == 0;
  if (!usable) {
    *keep = ConvertRaster(raster, raster.IsOpaque() ? kOpaqueWorkingBitmapInfo : kWorkingBitmapInfo,
                          ColorSpace::kRGB);
    if (*keep == nullptr) return {};
    source = keep->get();
  }
  if (source->width() > kMaxSurfaceSide || source->height() > kMaxSurfaceSide) return {};
  SurfaceRef surface(cairo_image_surface_create_for_data(
      const_cast<unsigned char*>(source->data()),
      source->bitmap_info() == kOpaqueWorkingBitmapInfo ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
      static_cast<int>(source->width()), static_cast<int>(source->height()),
      static_cast<int>(source->bytes_per_row())));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
  return surface;
}

// The coverage of a mask raster as an A8 surface: grey without alpha gives its grey level,
// every other layout its alpha.
SurfaceRef CoverageSurface(const Raster& mask) {
  if (mask.width() > kMaxSurfaceSide || mask.height() > kMaxSurfaceSide) return {};
  SurfaceRef surface(cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(mask.width()),
                                                static_cast<int>(mask.height())));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
  const bool grey_level = mask.color_space() == ColorSpace::kGrey && mask.IsOpaque();
  const internal::PixelFormat format(mask.bitmap_info(), mask.color_space());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (std::uint32_t y = 0; y < mask.height(); ++y) {
    const std::uint8_t* s = mask.Row(y);
    unsigned char* d = data + y * stride;
    for (std::uint32_t x = 0; x < mask.width(); ++x, s += format.bytes()) {
      const internal::Rgba p = format.Read(s);
      d[x] = grey_level ? p.r : p.a;
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

// How the raster of an image in each orientation maps onto a unit square of y-down display
// space: X = ax·s + bx·t + cx and Y = ay·s + by·t + cy for raster position (s, t), t counted
// from the first row, all in 0..1.
struct OrientationMap {
  double ax, bx, cx, ay, by, cy;
};
constexpr OrientationMap kOrientationMaps[8] = {
    {1, 0, 0, 0, 1, 0},    // up
    {-1, 0, 1, 0, -1, 1},  // down
    {0, 1, 0, -1, 0, 1},   // left: the first row becomes the left column
    {0, -1, 1, 1, 0, 0},   // right: the first row becomes the right column
    {-1, 0, 1, 0, 1, 0},   // up mirrored
    {1, 0, 0, 0, -1, 1},   // down mirrored
    {0, 1, 0, 1, 0, 0},    // left mirrored (transposed)
    {0, -1, 1, -1, 0, 1},  // right mirrored
};

}  // namespace

struct GraphicsContext::Impl {
  struct GState {
    cairo_matrix_t matrix;  // user -> Cairo device space (pixels, origin top left)
    bool singular = false;
    InterpolationQuality quality = kInterpolationDefault;
    PatternRef fill;    // empty: opaque black, the platform's default
    PatternRef stroke;  // likewise
    double line_width = 1.0;
    SurfaceRef mask;  // A8 in device space, or empty
    // On a saved state: the saves above it that could not be stored (memory ran out).
    std::size_t unstored_above = 0;
  };

  Kind kind = Kind::kImageSurface;
  double scale = 1.0;
  Size size;
  std::uint32_t width = 0, height = 0;
  bool opaque = false;
  SurfaceRef surface;
  cairo_t* cr = nullptr;

  // Bitmap contexts: the caller's pixels (or `own`) as they lie.
  std::uint8_t* data = nullptr;
  std::vector<std::uint8_t> own;
  PixelLayout layout{0, 0, 0, kWorkingBitmapInfo, ColorSpace::kRGB};
  bool shadow = false;        // drawing goes to a working copy, converted at Data()
  bool buffer_stale = false;  // the copy holds drawing not yet converted
  bool handed_out = false;    // Data() was called: read the memory back before drawing
  bool taken = false;         // TakeImage() gave the surface away: the context is finished
  // A picture could not be drawn as asked for want of memory. Drawing it another way (from the
  // full raster, with the engine's filter) would give other pixels, so the drawing stops here,
  // as the engine's own does at its first failure, and DrawingFailed() says so.
  bool incomplete = false;

  GState g;
  std::vector<GState> saved;
  std::size_t unstored_at_bottom = 0;  // saves not stored while `saved` was empty

  ~Impl() {
    if (cr != nullptr) cairo_destroy(cr);
  }

  // The surface's pixels. Read and written with alpha even when the surface is opaque, so that
  // conversions see the bytes the engine keeps.
  [[nodiscard]] MutablePixelView SurfacePixels() const {
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    return {PixelLayout::Working(width, height, stride),
            cairo_image_surface_get_data(surface.get())};
  }

  [[nodiscard]] MutablePixelView BitmapPixels() const { return {layout, data}; }

  void Import() {
    cairo_surface_flush(surface.get());
    internal::ConvertRows(BitmapPixels(), SurfacePixels());
    cairo_surface_mark_dirty(surface.get());
  }

  void Export() {
    cairo_surface_flush(surface.get());
    internal::ConvertRows(SurfacePixels(), BitmapPixels());
  }

  void SetSource(const PatternRef& paint) {
    if (paint.get() != nullptr) {
      cairo_set_source(cr, paint.get());
    } else {
      cairo_set_source_rgb(cr, 0, 0, 0);
    }
  }

  void ApplyMatrix() {
    if (!g.singular) cairo_set_matrix(cr, &g.matrix);
  }

  void SetMatrix(const AffineTransform& t) {
    g.matrix = ToCairo(t);
    g.singular = !t.IsInvertible();
    ApplyMatrix();
  }

  // Runs `draw` with an empty path of its own (the caller's path is kept) and through the
  // mask clip when there is one.
  template <class F>
  void Draw(F&& draw, bool keep_path = true) {
    if (g.singular || incomplete || cairo_status(cr) != CAIRO_STATUS_SUCCESS) return;
    if (handed_out) {
      handed_out = false;
      shadow ? Import() : cairo_surface_mark_dirty(surface.get());
    }
    cairo_path_t* path = nullptr;
    if (keep_path) {
      if (cairo_has_current_point(cr)) path = cairo_copy_path(cr);
      cairo_new_path(cr);
    }
    if (g.mask.get() != nullptr) {
      cairo_push_group(cr);
      draw();
      cairo_pop_group_to_source(cr);
      cairo_save(cr);
      cairo_identity_matrix(cr);
      cairo_mask_surface(cr, g.mask.get(), 0, 0);
      cairo_restore(cr);
    } else {
      draw();
    }
    if (keep_path) {
      cairo_new_path(cr);
      if (path != nullptr) {
        cairo_append_path(cr, path);
        cairo_path_destroy(path);
      }
    }
    if (shadow) buffer_stale = true;
  }

  PatternRef RasterPattern(const Raster& raster, const Rect& rect, RasterRef* keep) {
    const Raster* drawn = &raster;
    if (RasterRef reduced = ReducedForDevice(raster, rect)) {
      *keep = std::move(reduced);
      drawn = keep->get();
    }
    if (incomplete) return {};
    const SurfaceRef surface = SurfaceForRaster(*drawn, keep);
    if (surface.get() == nullptr) {
      // Beyond the engine's sides a raster is never drawn; any other failure is memory's.
      incomplete = drawn->width() <= kMaxSurfaceSide && drawn->height() <= kMaxSurfaceSide;
      return {};
    }
    PatternRef pattern(cairo_pattern_create_for_surface(surface.get()));
    const cairo_matrix_t m = PlacementMatrix(rect, drawn->width(), drawn->height());
    cairo_pattern_set_matrix(pattern.get(), &m);
    cairo_pattern_set_filter(pattern.get(), FilterFor(g.quality, m, g.matrix));
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
    if (cairo_pattern_status(pattern.get()) != CAIRO_STATUS_SUCCESS) {
      incomplete = true;
      return {};
    }
    return pattern;
  }

  // The raster averaged down to about the device pixels it covers when placed in `rect`, so
  // that the engine draws it near 1:1 instead of filtering every source pixel; null when it is
  // not drawn smaller along either axis, or the quality asks for the engine's own sampling
  // (none and low: the nearest pixel, or the two nearest). Each reduced side is the device
  // extent of that raster axis rounded up, so nothing is enlarged again by more than a pixel.
  // Null with `incomplete` set when memory ran out on the way.
  RasterRef ReducedForDevice(const Raster& raster, const Rect& rect) {
    if (g.quality == kInterpolationNone || g.quality == kInterpolationLow) return nullptr;
    cairo_matrix_t to_device = PlacementMatrix(rect, raster.width(), raster.height());
    if (cairo_matrix_invert(&to_device) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_matrix_multiply(&to_device, &to_device, &g.matrix);  // raster pixels -> device
    const auto side = [](std::uint32_t pixels, double device_per_pixel) -> std::uint32_t {
      const double covered = std::ceil(pixels * device_per_pixel - 1e-6);
      if (!(covered < pixels)) return pixels;  // not smaller (or not a number)
      return covered < 1 ? 1 : static_cast<std::uint32_t>(covered);
    };
    const std::uint32_t w = side(raster.width(), std::hypot(to_device.xx, to_device.yx));
    const std::uint32_t h = side(raster.height(), std::hypot(to_device.xy, to_device.yy));
    if (w == raster.width() && h == raster.height()) return nullptr;
    RasterRef working;
    const Raster* source = &raster;
    // Below, every failure is memory's: the working layouts convert and reduce.
    const auto ran_out = [this]() -> RasterRef {
      incomplete = true;
      return nullptr;
    };
    if (!raster.IsWorkingFormat()) {
      working =
          ConvertRaster(raster, raster.IsOpaque() ? kOpaqueWorkingBitmapInfo : kWorkingBitmapInfo,
                        ColorSpace::kRGB);
      if (working == nullptr) return ran_out();
      source = working.get();
    }
    const PixelLayout layout = PixelLayout::Packed(w, h, source->bitmap_info(), ColorSpace::kRGB);
    std::vector<std::uint8_t> pixels;
    try {
      pixels.resize(layout.ByteCount());
    } catch (const std::bad_alloc&) {
      return ran_out();
    }
    if (!ResampleOriented(source->view(), {layout, pixels.data()}, kOrientationUp)) {
      return ran_out();
    }
    RasterRef reduced = Raster::Make(layout, std::move(pixels));
    if (reduced == nullptr) return ran_out();
    return reduced;
  }

  SurfaceRef EmptyMask() {
    SurfaceRef mask(cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(width),
                                               static_cast<int>(height)));
    return mask;
  }
};

GraphicsContext::GraphicsContext(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
GraphicsContext::~GraphicsContext() = default;

namespace {

std::unique_ptr<GraphicsContext> Finish(std::unique_ptr<GraphicsContext::Impl> impl,
                                        const AffineTransform& base) {
  impl->cr = cairo_create(impl->surface.get());
  if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
  impl->SetMatrix(base);
  return std::make_unique<GraphicsContext>(std::move(impl));
}

const cairo_user_data_key_t kPooledPixels{};

// A cleared surface, as the engine makes one. Large ones draw on pixel memory from the pool,
// which takes it back when the surface goes (with the last image over its pixels).
SurfaceRef NewImageSurface(cairo_format_t format, int width, int height) {
  const int stride = cairo_format_stride_for_width(format, width);
  const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  if (stride <= 0 || bytes < internal::PixelMemoryPool::kMappedBytes) {
    return SurfaceRef(cairo_image_surface_create(format, width, height));
  }
  internal::PixelMemoryPool& pool = internal::PixelMemoryPool::Shared();
  const internal::PixelMemoryPool::Block block =
      pool.Take(bytes, internal::PixelMemoryPool::Clear::kZero);
  // A surface of a negative size is the engine's error surface, which the caller refuses.
  if (block.data == nullptr) return SurfaceRef(cairo_image_surface_create(format, -1, -1));
  auto* owner = new (std::nothrow) internal::PixelMemoryPool::Block(block);
  SurfaceRef surface(cairo_image_surface_create_for_data(static_cast<unsigned char*>(block.data),
                                                         format, width, height, stride));
  if (owner == nullptr || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_set_user_data(surface.get(), &kPooledPixels, owner, [](void* p) {
        auto* pooled = static_cast<internal::PixelMemoryPool::Block*>(p);
        internal::PixelMemoryPool::Shared().Give(*pooled);
        delete pooled;
      }) != CAIRO_STATUS_SUCCESS) {
    surface = SurfaceRef();  // lets the pixels go before they return to the pool
    delete owner;
    pool.Give(block);
    return SurfaceRef(cairo_image_surface_create(format, -1, -1));
  }
  return surface;
}

}  // namespace

std::unique_ptr<GraphicsContext> GraphicsContext::MakeImageSurface(Size size, bool opaque,
                                                                   double scale) noexcept {
  try {
    if (scale == 0.0) scale = CurrentScreenFacts().scale;
    if (!(scale > 0.0) || !Finite({scale, size.width, size.height}) || !(size.width > 0.0) ||
        !(size.height > 0.0)) {
      return nullptr;
    }
    // A whisker below the next whole pixel still rounds down: 40 points at scale 3 are 120
    // pixels even when the product comes out as 120.00000000000001.
    const double pw = std::ceil(size.width * scale - 1e-9);
    const double ph = std::ceil(size.height * scale - 1e-9);
    if (pw > kMaxSurfaceSide || ph > kMaxSurfaceSide || pw * 4 * ph > kMaxRasterBytes) {
      return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->kind = Kind::kImageSurface;
    impl->scale = scale;
    impl->size = size;
    impl->width = static_cast<std::uint32_t>(std::max(pw, 1.0));
    impl->height = static_cast<std::uint32_t>(std::max(ph, 1.0));
    impl->opaque = opaque;
    impl->surface = NewImageSurface(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
                                    static_cast<int>(impl->width), static_cast<int>(impl->height));
    if (cairo_surface_status(impl->surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return Finish(std::move(impl), AffineTransform::MakeScale(scale, scale));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<GraphicsContext> GraphicsContext::MakeBitmap(const PixelLayout& requested,
                                                             void* data) noexcept {
  PixelLayout layout = requested;
  const std::uint32_t alpha = layout.bitmap_info & kBitmapAlphaInfoMask;
  const bool rgb_ok =
      layout.space == ColorSpace::kRGB && (alpha == 1 || alpha == 2 || alpha == 5 || alpha == 6);
  const bool grey_ok = layout.space == ColorSpace::kGrey && alpha == 0;
  if (!(rgb_ok || grey_ok || alpha == 7)) return nullptr;
  const unsigned bpp = layout.BytesPerPixel();
  const std::uint32_t width = layout.width, height = layout.height;
  if (bpp == 0 || width == 0 || height == 0 || width > kMaxSurfaceSide ||
      height > kMaxSurfaceSide) {
    return nullptr;
  }
  if (layout.bytes_per_row == 0) {
    layout.bytes_per_row = (std::size_t{width} * bpp + 3) & ~std::size_t{3};
  }
  // The row is checked before the block, so that a huge row cannot wrap the product around.
  if (!layout.IsValid()) return nullptr;
  const std::uint32_t info = layout.bitmap_info;
  const bool rgb = layout.space == ColorSpace::kRGB;
  if (alpha == 7) layout.space = ColorSpace::kGrey;
  try {
    auto impl = std::make_unique<Impl>();
    impl->kind = Kind::kBitmap;
    impl->size = {static_cast<double>(width), static_cast<double>(height)};
    impl->width = width;
    impl->height = height;
    impl->layout = layout;
    impl->opaque = alpha == 0 || alpha == 5 || alpha == 6;
    if (data == nullptr) {
      impl->own.assign(layout.ByteCount(), 0);
      data = impl->own.data();
    }
    impl->data = static_cast<std::uint8_t*>(data);
    const bool direct = rgb && (info == 0x2002 || info == 0x2006) &&
                        layout.bytes_per_row % 4 == 0 &&
                        reinterpret_cast<std::uintptr_t>(data) % 4 == 0;
    const cairo_format_t format = impl->opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32;
    if (direct) {
      impl->surface = SurfaceRef(cairo_image_surface_create_for_data(
          impl->data, format, static_cast<int>(width), static_cast<int>(height),
          static_cast<int>(layout.bytes_per_row)));
    } else {
      impl->shadow = true;
      impl->surface = SurfaceRef(
          cairo_image_surface_create(format, static_cast<int>(width), static_cast<int>(height)));
    }
    if (cairo_surface_status(impl->surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    if (impl->shadow) impl->Import();
    return Finish(std::move(impl), {1, 0, 0, -1, 0, static_cast<double>(height)});
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Deprecated form, kept for programs built against it. The sides are checked before they are
// narrowed to the layout's 32 bits.
std::unique_ptr<GraphicsContext> GraphicsContext::MakeBitmap(
    void* data, std::size_t width, std::size_t height, std::size_t bits_per_component,
    std::size_t bytes_per_row, ColorSpace space, std::uint32_t info) noexcept {
  if (bits_per_component != 8 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) {
    return nullptr;
  }
  return MakeBitmap(PixelLayout{static_cast<std::uint32_t>(width),
                                static_cast<std::uint32_t>(height), bytes_per_row, info, space},
                    data);
}

GraphicsContext::Kind GraphicsContext::kind() const noexcept { return impl_->kind; }
double GraphicsContext::scale() const noexcept { return impl_->scale; }
Size GraphicsContext::size() const noexcept { return impl_->size; }
std::uint32_t GraphicsContext::pixel_width() const noexcept { return impl_->width; }
std::uint32_t GraphicsContext::pixel_height() const noexcept { return impl_->height; }
bool GraphicsContext::opaque() const noexcept { return impl_->opaque; }
std::size_t GraphicsContext::BytesPerRow() const noexcept { return impl_->layout.bytes_per_row; }
std::uint32_t GraphicsContext::BitmapInfo() const noexcept {
  return impl_->kind == Kind::kBitmap ? impl_->layout.bitmap_info : 0;
}
ColorSpace GraphicsContext::GetColorSpace() const noexcept { return impl_->layout.space; }

void* GraphicsContext::Data() noexcept {
  Impl& m = *impl_;
  if (m.kind != Kind::kBitmap) return nullptr;
  cairo_surface_flush(m.surface.get());
  if (m.shadow && m.buffer_stale) m.Export();
  m.buffer_stale = false;
  m.handed_out = true;
  return m.data;
}

ImageRef GraphicsContext::CreateImage() noexcept {
  Impl& m = *impl_;
  if (m.taken || internal::DrawingFailed(*this)) return nullptr;
  cairo_surface_flush(m.surface.get());
  RasterRef raster;
  if (m.kind == Kind::kBitmap) {
    if (m.shadow && m.buffer_stale) {
      m.Export();
      m.buffer_stale = false;
    }
    raster = Raster::Copy(m.BitmapPixels());
  } else {
    raster = Raster::Copy(
        PixelLayout::Working(
            m.width, m.height,
            static_cast<std::size_t>(cairo_image_surface_get_stride(m.surface.get())), m.opaque),
        cairo_image_surface_get_data(m.surface.get()));
  }
  if (raster == nullptr) return nullptr;
  return Image::Make(std::move(raster), m.scale, kOrientationUp);
}

ImageRef GraphicsContext::TakeImage() noexcept {
  Impl& m = *impl_;
  if (m.kind != Kind::kImageSurface || m.taken || internal::DrawingFailed(*this)) return nullptr;
  cairo_surface_flush(m.surface.get());
  cairo_surface_t* pixels = cairo_surface_reference(m.surface.get());
  RasterRef raster = Raster::Wrap(
      PixelLayout::Working(m.width, m.height,
                           static_cast<std::size_t>(cairo_image_surface_get_stride(pixels)),
                           m.opaque),
      cairo_image_surface_get_data(pixels), [pixels] { cairo_surface_destroy(pixels); });
  if (raster == nullptr) return nullptr;  // Wrap has let the reference go
  ImageRef image = Image::Make(std::move(raster), m.scale, kOrientationUp);
  if (image == nullptr) return nullptr;
  // From now on the context draws into an empty surface, never into the image's pixels.
  m.taken = true;
  cairo_destroy(m.cr);
  m.surface = SurfaceRef(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 0, 0));
  m.cr = cairo_create(m.surface.get());
  return image;
}

// ---- state ---------------------------------------------------------------------------------

void GraphicsContext::SaveGState() noexcept {
  Impl& m = *impl_;
  try {
    m.saved.push_back(m.g);
    m.saved.back().unstored_above = 0;
    cairo_save(m.cr);
  } catch (const std::bad_alloc&) {
    // Not stored, but counted where it stands: its restore then undoes nothing, rather than
    // the caller's outer save.
    ++(m.saved.empty() ? m.unstored_at_bottom : m.saved.back().unstored_above);
  }
}

void GraphicsContext::RestoreGState() noexcept {
  Impl& m = *impl_;
  std::size_t& unstored = m.saved.empty() ? m.unstored_at_bottom : m.saved.back().unstored_above;
  if (unstored > 0) {
    --unstored;
    return;
  }
  // An unmatched restore would leave the engine's context unusable for good.
  if (m.saved.empty()) return;
  cairo_restore(m.cr);
  m.g = std::move(m.saved.back());
  m.saved.pop_back();
  m.ApplyMatrix();
}

void GraphicsContext::ConcatCTM(const AffineTransform& t) noexcept {
  impl_->SetMatrix(AffineTransform::Concat(t, FromCairo(impl_->g.matrix)));
}
void GraphicsContext::TranslateCTM(double tx, double ty) noexcept {
  ConcatCTM(AffineTransform::MakeTranslation(tx, ty));
}
void GraphicsContext::ScaleCTM(double sx, double sy) noexcept {
  ConcatCTM(AffineTransform::MakeScale(sx, sy));
}
void GraphicsContext::RotateCTM(double angle) noexcept {
  ConcatCTM(AffineTransform::MakeRotation(angle));
}

AffineTransform GraphicsContext::CTM() const noexcept {
  const AffineTransform flip{1, 0, 0, -1, 0, static_cast<double>(impl_->height)};
  return AffineTransform::Concat(FromCairo(impl_->g.matrix), flip);
}

void GraphicsContext::SetInterpolationQuality(InterpolationQuality quality) noexcept {
  // An enum can be handed any number of its underlying type; it is checked here all the same.
  impl_->g.quality = InterpolationQualityFromInt(static_cast<int>(quality));
}
InterpolationQuality GraphicsContext::interpolation_quality() const noexcept {
  return impl_->g.quality;
}
// Deprecated forms, kept for programs built against them.
void GraphicsContext::SetInterpolationQuality(int quality) noexcept {
  SetInterpolationQuality(InterpolationQualityFromInt(quality));
}
int GraphicsContext::GetInterpolationQuality() const noexcept {
  return static_cast<int>(interpolation_quality());
}

void GraphicsContext::SetFillColor(const ColorRef& color) noexcept {
  if (PatternRef p = PatternForColor(color); p.get() != nullptr) impl_->g.fill = p;
}
void GraphicsContext::SetFillColor(double r, double g, double b, double a) noexcept {
  impl_->g.fill = SolidPattern(r, g, b, a);
}
void GraphicsContext::SetStrokeColor(const ColorRef& color) noexcept {
  if (PatternRef p = PatternForColor(color); p.get() != nullptr) impl_->g.stroke = p;
}
void GraphicsContext::SetStrokeColor(double r, double g, double b, double a) noexcept {
  impl_->g.stroke = SolidPattern(r, g, b, a);
}
void GraphicsContext::SetLineWidth(double width) noexcept {
  if (std::isfinite(width) && width >= 0) impl_->g.line_width = width;
}

// ---- drawing -------------------------------------------------------------------------------

void GraphicsContext::FillRect(Rect rect) noexcept {
  if (!Finite({rect.x, rect.y, rect.width, rect.height})) return;
  rect = rect.Standardized();
  Impl& m = *impl_;
  m.Draw([&] {
    cairo_rectangle(m.cr, rect.x, rect.y, rect.width, rect.height);
    m.SetSource(m.g.fill);
    cairo_fill(m.cr);
  });
}

void GraphicsContext::ClearRect(Rect rect) noexcept {
  if (!Finite({rect.x, rect.y, rect.width, rect.height})) return;
  rect = rect.Standardized();
  Impl& m = *impl_;
  SurfaceRef mask = m.g.mask;
  m.g.mask = SurfaceRef();  // the clearing goes straight to the pixels, through the mask below
  m.Draw([&] {
    cairo_save(m.cr);
    cairo_rectangle(m.cr, rect.x, rect.y, rect.width, rect.height);
    cairo_clip(m.cr);
    if (mask.get() != nullptr) {
      cairo_identity_matrix(m.cr);
      cairo_set_source_rgba(m.cr, 0, 0, 0, 1);
      cairo_set_operator(m.cr, CAIRO_OPERATOR_DEST_OUT);
      cairo_mask_surface(m.cr, mask.get(), 0, 0);
    } else {
      cairo_set_operator(m.cr, CAIRO_OPERATOR_CLEAR);
      cairo_paint(m.cr);
    }
    cairo_restore(m.cr);
  });
  m.g.mask = mask;
}

void GraphicsContext::DrawImage(Rect rect, const Raster& raster) noexcept {
  if (!Finite({rect.x, rect.y, rect.width, rect.height}) || rect.IsEmpty()) return;
  rect = rect.Standardized();
  Impl& m = *impl_;
  if (m.g.singular) return;
  RasterRef keep;
  const PatternRef pattern = m.RasterPattern(raster, rect, &keep);
  if (pattern.get() == nullptr) return;
  m.Draw([&] {
    cairo_set_source(m.cr, pattern.get());
    cairo_rectangle(m.cr, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(m.cr);
  });
}

void GraphicsContext::DrawImageInRect(const Image& image, Rect rect) noexcept {
  const Raster* raster = image.raster().get();
  if (raster == nullptr || !Finite({rect.x, rect.y, rect.width, rect.height}) || rect.IsEmpty()) {
    return;
  }
  rect = rect.Standardized();
  Impl& m = *impl_;
  // DrawImage into the unit square puts raster position (s, t) at (s, 1 - t); this transform
  // takes that point to its place in `rect` for the image's orientation.
  const OrientationMap& o = kOrientationMaps[ToInt(image.orientation()) & 7];
  const AffineTransform place{rect.width * o.ax,
                              rect.height * o.ay,
                              -rect.width * o.bx,
                              -rect.height * o.by,
                              rect.x + rect.width * (o.bx + o.cx),
                              rect.y + rect.height * (o.by + o.cy)};
  const cairo_matrix_t before = m.g.matrix;
  const bool before_singular = m.g.singular;
  ConcatCTM(place);
  if (image.rendering_mode() == kRenderingAlwaysTemplate) {
    RasterRef keep;
    const PatternRef coverage = m.RasterPattern(*raster, {0, 0, 1, 1}, &keep);
    if (coverage.get() != nullptr) {
      m.Draw([&] {
        cairo_save(m.cr);
        cairo_rectangle(m.cr, 0, 0, 1, 1);
        cairo_clip(m.cr);
        m.SetSource(m.g.fill);
        cairo_mask(m.cr, coverage.get());
        cairo_restore(m.cr);
      });
    }
  } else {
    DrawImage({0, 0, 1, 1}, *raster);
  }
  m.g.matrix = before;
  m.g.singular = before_singular;
  m.ApplyMatrix();
}

void GraphicsContext::DrawLinearGradient(const Gradient& gradient, Point start, Point end,
                                         unsigned options) noexcept {
  Impl& m = *impl_;
  const double dx = end.x - start.x, dy = end.y - start.y;
  const double length = std::hypot(dx, dy);
  if (!Finite({start.x, start.y, end.x, end.y, length}) || length == 0 || m.g.singular) return;
  double x1, y1, x2, y2;
  cairo_clip_extents(m.cr, &x1, &y1, &x2, &y2);
  double reach = length;
  for (const Point corner : {Point{x1, y1}, Point{x2, y1}, Point{x1, y2}, Point{x2, y2}}) {
    reach = std::max(reach, std::hypot(corner.x - start.x, corner.y - start.y) + length);
  }
  if (!std::isfinite(reach)) return;
  // The band between the perpendiculars through the ends, widened past an end on request.
  const double ux = dx / length, uy = dy / length;
  const double back = (options & kGradientDrawsBeforeStartLocation) ? -reach : 0.0;
  const double ahead = length + ((options & kGradientDrawsAfterEndLocation) ? reach : 0.0);
  const double nx = -uy * reach, ny = ux * reach;
  PatternRef pattern(cairo_pattern_create_linear(start.x, start.y, end.x, end.y));
  for (const Gradient::Stop& stop : gradient.stops()) {
    cairo_pattern_add_color_stop_rgba(pattern.get(), stop.location, stop.red, stop.green, stop.blue,
                                      stop.alpha);
  }
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
  m.Draw([&] {
    const double bx = start.x + ux * back, by = start.y + uy * back;
    const double ax = start.x + ux * ahead, ay = start.y + uy * ahead;
    cairo_move_to(m.cr, bx + nx, by + ny);
    cairo_line_to(m.cr, ax + nx, ay + ny);
    cairo_line_to(m.cr, ax - nx, ay - ny);
    cairo_line_to(m.cr, bx - nx, by - ny);
    cairo_close_path(m.cr);
    cairo_set_source(m.cr, pattern.get());
    cairo_fill(m.cr);
  });
}

// ---- paths and clipping --------------------------------------------------------------------

void GraphicsContext::BeginPath() noexcept { cairo_new_path(impl_->cr); }

void GraphicsContext::MoveTo(double x, double y) noexcept {
  if (!impl_->g.singular && Finite({x, y})) cairo_move_to(impl_->cr, x, y);
}

void GraphicsContext::AddLineTo(double x, double y) noexcept {
  if (impl_->g.singular || !Finite({x, y})) return;
  // Without a current point a line starts the subpath, as on the platform.
  if (cairo_has_current_point(impl_->cr)) {
    cairo_line_to(impl_->cr, x, y);
  } else {
    cairo_move_to(impl_->cr, x, y);
  }
}

void GraphicsContext::AddArc(double x, double y, double radius, double start, double end,
                             bool clockwise) noexcept {
  if (impl_->g.singular || !Finite({x, y, radius, start, end}) || radius < 0) return;
  (clockwise ? cairo_arc_negative : cairo_arc)(impl_->cr, x, y, radius, start, end);
}

void GraphicsContext::AddCurveToPoint(double cp1x, double cp1y, double cp2x, double cp2y, double x,
                                      double y) noexcept {
  if (impl_->g.singular || !Finite({cp1x, cp1y, cp2x, cp2y, x, y})) return;
  if (!cairo_has_current_point(impl_->cr)) cairo_move_to(impl_->cr, cp1x, cp1y);
  cairo_curve_to(impl_->cr, cp1x, cp1y, cp2x, cp2y, x, y);
}

void GraphicsContext::AddRect(Rect r) noexcept {
  if (!impl_->g.singular && Finite({r.x, r.y, r.width, r.height})) {
    cairo_rectangle(impl_->cr, r.x, r.y, r.width, r.height);
  }
}

void GraphicsContext::AddEllipseInRect(Rect r) noexcept {
  if (impl_->g.singular || !Finite({r.x, r.y, r.width, r.height})) return;
  r = r.Standardized();
  cairo_t* cr = impl_->cr;
  cairo_new_sub_path(cr);
  if (r.width == 0 || r.height == 0) {
    // A flat ellipse is its diameter, closed; scaling by 0 would break the engine's context.
    cairo_move_to(cr, r.x, r.y);
    cairo_line_to(cr, r.x + r.width, r.y + r.height);
  } else {
    cairo_save(cr);
    cairo_translate(cr, r.x + r.width / 2, r.y + r.height / 2);
    cairo_scale(cr, r.width / 2, r.height / 2);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
  }
  cairo_close_path(cr);
}

void GraphicsContext::AddPath(const Path& path) noexcept {
  for (const Path::Element& e : path.elements()) {
    const double* v = e.v;
    switch (e.op) {
      case Path::Op::kMove:
        MoveTo(v[0], v[1]);
        break;
      case Path::Op::kLine:
        AddLineTo(v[0], v[1]);
        break;
      case Path::Op::kArc:
        AddArc(v[0], v[1], v[2], v[3], v[4], v[5] != 0);
        break;
      case Path::Op::kRect:
        AddRect({v[0], v[1], v[2], v[3]});
        break;
      case Path::Op::kEllipse:
        AddEllipseInRect({v[0], v[1], v[2], v[3]});
        break;
      case Path::Op::kClose:
        ClosePath();
        break;
      case Path::Op::kCurve:
        AddCurveToPoint(v[0], v[1], v[2], v[3], v[4], v[5]);
        break;
    }
  }
}

void GraphicsContext::ClosePath() noexcept { cairo_close_path(impl_->cr); }

bool GraphicsContext::IsPathEmpty() const noexcept { return !cairo_has_current_point(impl_->cr); }

Path GraphicsContext::CopyPath() const noexcept {
  Path result;
  cairo_t* cr = impl_->cr;
  if (!cairo_has_current_point(cr)) return result;
  cairo_path_t* path = cairo_copy_path(cr);
  if (path->status != CAIRO_STATUS_SUCCESS) {
    cairo_path_destroy(path);
    return result;
  }
  try {
    Point start;  // of the current subpath
    bool closed = false;
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
      const cairo_path_data_t* d = &path->data[i];
      const cairo_path_data_type_t type = d->header.type;
      switch (type) {
        case CAIRO_PATH_MOVE_TO:
          // The engine repeats the start after each close; the close already implies it.
          if (closed && d[1].point.x == start.x && d[1].point.y == start.y) break;
          start = {d[1].point.x, d[1].point.y};
          result.MoveTo(start.x, start.y);
          break;
        case CAIRO_PATH_LINE_TO:
          result.AddLineTo(d[1].point.x, d[1].point.y);
          break;
        case CAIRO_PATH_CURVE_TO:
          result.AddCurveToPoint(d[1].point.x, d[1].point.y, d[2].point.x, d[2].point.y,
                                 d[3].point.x, d[3].point.y);
          break;
        case CAIRO_PATH_CLOSE_PATH:
          result.CloseSubpath();
          break;
      }
      closed = type == CAIRO_PATH_CLOSE_PATH;
    }
  } catch (const std::bad_alloc&) {
    result = Path();
  }
  cairo_path_destroy(path);
  return result;
}

void GraphicsContext::FillPath() noexcept {
  Impl& m = *impl_;
  m.Draw(
      [&] {
        m.SetSource(m.g.fill);
        cairo_set_fill_rule(m.cr, CAIRO_FILL_RULE_WINDING);
        cairo_fill(m.cr);
      },
      false);
  cairo_new_path(m.cr);
}

void GraphicsContext::StrokePath() noexcept {
  Impl& m = *impl_;
  m.Draw(
      [&] {
        m.SetSource(m.g.stroke);
        cairo_set_line_width(m.cr, m.g.line_width);
        cairo_stroke(m.cr);
      },
      false);
  cairo_new_path(m.cr);
}

void GraphicsContext::Clip() noexcept {
  cairo_set_fill_rule(impl_->cr, CAIRO_FILL_RULE_WINDING);
  cairo_clip(impl_->cr);
}

void GraphicsContext::ClipToRect(Rect r) noexcept {
  if (!Finite({r.x, r.y, r.width, r.height})) return;
  cairo_t* cr = impl_->cr;
  cairo_path_t* path = cairo_has_current_point(cr) ? cairo_copy_path(cr) : nullptr;
  cairo_new_path(cr);
  if (impl_->g.singular) {
    cairo_rectangle(cr, 0, 0, 0, 0);
  } else {
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
  cairo_clip(cr);
  if (path != nullptr) {
    cairo_append_path(cr, path);
    cairo_path_destroy(path);
  }
}

void GraphicsContext::ClipToMask(Rect rect, const Raster& mask) noexcept {
  Impl& m = *impl_;
  SurfaceRef result = m.EmptyMask();
  if (cairo_surface_status(result.get()) != CAIRO_STATUS_SUCCESS) return;
  const SurfaceRef coverage = CoverageSurface(mask);
  const bool placeable = Finite({rect.x, rect.y, rect.width, rect.height}) && !rect.IsEmpty() &&
                         !m.g.singular && coverage.get() != nullptr;
  // Whatever cannot be placed clips everything away: later drawing must stay inside the mask.
  if (placeable) {
    rect = rect.Standardized();
    cairo_t* cr = cairo_create(result.get());
    cairo_set_matrix(cr, &m.g.matrix);
    PatternRef pattern(cairo_pattern_create_for_surface(coverage.get()));
    const cairo_matrix_t placement = PlacementMatrix(rect, mask.width(), mask.height());
    cairo_pattern_set_matrix(pattern.get(), &placement);
    cairo_pattern_set_filter(pattern.get(), FilterFor(m.g.quality, placement, m.g.matrix));
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    cairo_set_source(cr, pattern.get());
    cairo_fill(cr);
    if (m.g.mask.get() != nullptr) {
      cairo_identity_matrix(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
      cairo_set_source_surface(cr, m.g.mask.get(), 0, 0);
      cairo_paint(cr);
    }
    cairo_destroy(cr);
  }
  m.g.mask = result;
}

namespace internal {

cairo_t* CairoOf(GraphicsContext& context) noexcept { return context.impl().cr; }

bool DrawingFailed(GraphicsContext& context) noexcept {
  const GraphicsContext::Impl& m = context.impl();
  return m.incomplete || cairo_status(m.cr) != CAIRO_STATUS_SUCCESS ||
         cairo_surface_status(m.surface.get()) != CAIRO_STATUS_SUCCESS;
}

void DrawWithCairo(GraphicsContext& context, const std::function<void(cairo_t*)>& draw) noexcept {
  GraphicsContext::Impl& m = context.impl();
  try {
    m.Draw([&] {
      m.SetSource(m.g.fill);
      draw(m.cr);
    });
  } catch (...) {
    // A drawing callback that throws draws whatever it drew before.
  }
}

}  // namespace internal
}  // namespace kelvane::platform
