// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/context.h
//
// A drawing context, in two kinds:
//
//   image surface   size in points x scale pixels; user space in points, origin top left,
//                   y down. Opaque surfaces have no alpha. Made by the image-surface stack or
//                   the image renderer (image_surfaces.h), or directly with MakeImageSurface.
//   bitmap context  width x height pixels in the layout the caller asks for, over the caller's
//                   memory or its own; user space in pixels, origin bottom left, y up.
//
// Pixels are premultiplied; the working layout (B, G, R, A in memory, see pixels/raster.h) is drawn
// into directly. A bitmap context in another layout draws into a working copy and converts at
// Data() and CreateImage(): call Data() again after drawing to see the new pixels, and changes
// made through Data() are read back before the next drawing operation.
//
// The drawing state (transform, clip, fill and stroke colours, line width, interpolation
// quality) is saved and restored as a stack; the current path is not part of it and is left
// alone by every operation except the path, fill, stroke and clip operations.
//
// Transform: CTM() reports the transform from user space to device space with the origin at
// the bottom left in pixels, as the platform does (identity for a new bitmap context,
// [s 0 0 -s 0 H] for an image surface of H pixels at scale s). A transform that cannot be
// inverted makes drawing and path building do nothing until the state is restored.
//
// Threads: a context is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/gradient.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/graphics/path.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

// Interpolation qualities in the platform's numbering. Every quality but none enlarges smoothly
// (bilinear between pixel centres); they differ in how they reduce: low samples bilinearly,
// default and medium average areas, high uses the engine's finest filter.
// Unscoped, so that a quality reads as its number where a facade's contract takes one (no
// number becomes a quality without the checked conversion below).
enum InterpolationQuality : int {
  kInterpolationDefault = 0,  // area averaging when reducing
  kInterpolationNone = 1,     // nearest pixel: a 1:1 draw reproduces the pixels exactly
  kInterpolationLow = 2,      // bilinear sampling when reducing
  kInterpolationHigh = 3,     // the engine's finest filter when reducing
  kInterpolationMedium = 4,   // area averaging when reducing
};

// The quality numbered `value` (0..4, as above); any other number reads as the default, as the
// platform reads it. The one conversion from a number to a quality.
[[nodiscard]] constexpr InterpolationQuality InterpolationQualityFromInt(int value) noexcept {
  return value >= 0 && value <= 4 ? static_cast<InterpolationQuality>(value)
                                  : kInterpolationDefault;
}

// Cairo keeps each side of a surface within 32767 pixels.
inline constexpr std::uint32_t kMaxSurfaceSide = 32767;

// A drawing context: an image surface or a bitmap context (see the opening block).
class KELVANE_EXPORT GraphicsContext {
 public:
  // The two kinds of context.
  enum class Kind {
    kImageSurface,  // points x scale, origin top left
    kBitmap,        // pixels, origin bottom left
  };

  // An image surface of `size` points at `scale` (0 means the screen's scale), transparent, or
  // black and without alpha when `opaque`. The pixel sides are size x scale rounded up. Null
  // when a side is not above 0, the scale is negative or not finite, a pixel side passes
  // kMaxSurfaceSide or the bytes pass a signed 32-bit count.
  [[nodiscard]] static std::unique_ptr<GraphicsContext> MakeImageSurface(Size size, bool opaque,
                                                                         double scale) noexcept;

  // A bitmap context of layout.width x layout.height pixels. `data` null: the context
  // allocates zeroed memory of its own. layout.bytes_per_row 0: the context chooses (the row
  // rounded up to 4 bytes). Accepted layouts: RGB with bitmap info 1, 2, 5 or 6 and any 32-bit
  // byte order; grey with 0; alpha only (7). Null for any other layout, a side of 0 or above
  // kMaxSurfaceSide, bytes per row below the row's pixel bytes, or more bytes than a signed
  // 32-bit count. REQUIRES: caller memory holds bytes_per_row x height bytes and outlives the
  // context.
  [[nodiscard]] static std::unique_ptr<GraphicsContext> MakeBitmap(const PixelLayout& layout,
                                                                   void* data) noexcept;
  // Deprecated: MakeBitmap(layout, data) with the layout's fields as arguments; null unless
  // bits_per_component is 8. Kept for programs built against it.
  [[nodiscard]] static std::unique_ptr<GraphicsContext> MakeBitmap(
      void* data, std::size_t width, std::size_t height, std::size_t bits_per_component,
      std::size_t bytes_per_row, ColorSpace space, std::uint32_t bitmap_info) noexcept;

  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  // The kind of context.
  [[nodiscard]] Kind kind() const noexcept;
  [[nodiscard]] double scale() const noexcept;  // 1 for a bitmap context
  [[nodiscard]] Size size() const noexcept;     // points (pixels for a bitmap)
  // The sides in pixels.
  [[nodiscard]] std::uint32_t pixel_width() const noexcept;
  [[nodiscard]] std::uint32_t pixel_height() const noexcept;
  // True for an opaque image surface and for a bitmap context whose layout has no alpha.
  [[nodiscard]] bool opaque() const noexcept;

  // Bitmap contexts: the pixels in the layout asked for, rows from the top of the memory
  // (the bottom of user space comes last). Null for an image surface.
  [[nodiscard]] void* Data() noexcept;
  // The bytes from one row of the pixels to the next.
  [[nodiscard]] std::size_t BytesPerRow() const noexcept;
  // The bitmap-info word of a bitmap context's layout; 0 for an image surface.
  [[nodiscard]] std::uint32_t BitmapInfo() const noexcept;
  // The colour space of the pixels.
  [[nodiscard]] ColorSpace GetColorSpace() const noexcept;

  // A copy of the pixels as an image (orientation up, the context's scale); the context stays
  // usable. Image surfaces give 0x2002 rasters (0x2006 when opaque); bitmap contexts their own
  // layout. Null when memory runs out, also when it ran out during a drawing, which the engine
  // then stopped with part of the picture drawn.
  [[nodiscard]] ImageRef CreateImage() noexcept;

  // Image surfaces: the picture drawn so far as an image that takes the surface's pixels over
  // without a copy (no new memory, which matters for pictures drawn many times a second). The
  // context is finished afterwards: drawing changes nothing, and CreateImage() and TakeImage()
  // give null. Null for a bitmap context, a finished one, or when memory runs out, now or during
  // a drawing (the context is then left as it was).
  [[nodiscard]] ImageRef TakeImage() noexcept;

  // ---- state -------------------------------------------------------------------------------
  // A save that cannot be stored (memory runs out) still pairs with its restore, which then
  // restores nothing: a restore never undoes a save made before its own.
  void SaveGState() noexcept;
  // Without a matching save, nothing happens.
  void RestoreGState() noexcept;
  void ConcatCTM(const AffineTransform& transform) noexcept;  // `transform` acts first
  // ConcatCTM with a translation.
  void TranslateCTM(double tx, double ty) noexcept;
  // ConcatCTM with a scaling.
  void ScaleCTM(double sx, double sy) noexcept;
  // ConcatCTM with a rotation by `angle` radians.
  void RotateCTM(double angle) noexcept;
  // The current transform, as the opening block describes it.
  [[nodiscard]] AffineTransform CTM() const noexcept;
  // The quality of images drawn from now on; kInterpolationDefault in a new context.
  void SetInterpolationQuality(InterpolationQuality quality) noexcept;
  // The quality of images drawn now.
  [[nodiscard]] InterpolationQuality interpolation_quality() const noexcept;
  // Deprecated: the quality as its number, through InterpolationQualityFromInt(), and back.
  // Kept for programs built against them.
  void SetInterpolationQuality(int quality) noexcept;
  // Deprecated: interpolation_quality() as its number. Kept for programs built against it.
  [[nodiscard]] int GetInterpolationQuality() const noexcept;
  // The fill colour: `color` resolved for the current appearance; a colour that resolves to
  // nothing (or null) leaves the fill colour unchanged. Pattern colours tile in user space.
  void SetFillColor(const ColorRef& color) noexcept;
  // The fill colour from its components, each nominally 0..1.
  void SetFillColor(double red, double green, double blue, double alpha) noexcept;
  // The stroke colour, as SetFillColor(color) sets the fill colour.
  void SetStrokeColor(const ColorRef& color) noexcept;
  // The stroke colour from its components, each nominally 0..1.
  void SetStrokeColor(double red, double green, double blue, double alpha) noexcept;
  // The width of stroked lines in user space; a negative or non-finite width is ignored.
  void SetLineWidth(double width) noexcept;

  // ---- drawing -----------------------------------------------------------------------------
  // Paints `rect` in the fill colour.
  void FillRect(Rect rect) noexcept;
  // Makes the rectangle transparent (black in an opaque context).
  void ClearRect(Rect rect) noexcept;
  // Draws `raster` scaled into `rect` under the current transform; its first row lands at the
  // rect's maxY edge (upright in a bitmap context, upside down in an image surface unless the
  // caller flips). Rasters outside the working format are converted on each draw.
  void DrawImage(Rect rect, const Raster& raster) noexcept;
  // Draws `image` upright into `rect` of a y-down user space (an image surface), honouring its
  // orientation; a template image paints its alpha coverage in the fill colour.
  void DrawImageInRect(const Image& image, Rect rect) noexcept;
  // Paints the colours of `gradient` along start -> end (constant along the perpendiculars)
  // over the clip; `options` are the kGradientDraws... bits.
  void DrawLinearGradient(const Gradient& gradient, Point start, Point end,
                          unsigned options) noexcept;

  // ---- paths and clipping ------------------------------------------------------------------
  // Empties the current path.
  void BeginPath() noexcept;
  // Starts a new subpath at (x, y).
  void MoveTo(double x, double y) noexcept;
  // A line from the current point to (x, y); without a current point, a subpath starts there.
  void AddLineTo(double x, double y) noexcept;
  // An arc around (x, y) from angle `start` to `end` (radians, from the x axis towards the y
  // axis of user space): with clockwise false the angle increases. A line joins the current
  // point to the arc's start.
  void AddArc(double x, double y, double radius, double start, double end, bool clockwise) noexcept;
  // A cubic Bezier curve from the current point (or from the first control point when there
  // is none) through both control points to (x, y).
  void AddCurveToPoint(double cp1x, double cp1y, double cp2x, double cp2y, double x,
                       double y) noexcept;
  void AddRect(Rect rect) noexcept;           // a closed subpath
  void AddEllipseInRect(Rect rect) noexcept;  // a closed subpath
  // Adds the elements of `path`, in user space.
  void AddPath(const Path& path) noexcept;
  // Closes the current subpath with a line back to its start.
  void ClosePath() noexcept;
  // True when there is no current path.
  [[nodiscard]] bool IsPathEmpty() const noexcept;
  // The current path in user space as it is held: moves, lines, curves and closes (arcs,
  // rectangles and ellipses come back as the lines and curves that draw them). A move back to
  // the start of a subpath just closed is left out, as the close already puts the current
  // point there. Empty when there is no path or memory runs out.
  [[nodiscard]] Path CopyPath() const noexcept;
  // Fill or stroke the current path, then empty it (non-zero winding).
  void FillPath() noexcept;
  void StrokePath() noexcept;
  // Intersects the clip with the current path (non-zero winding) and empties the path.
  void Clip() noexcept;
  // Intersects the clip with `rect`; the current path is kept.
  void ClipToRect(Rect rect) noexcept;
  // Intersects the clip with `mask` placed into `rect` as DrawImage places a raster: a grey
  // raster without alpha gives coverage from its grey level, any other from its alpha.
  // Outside the rect nothing is drawn.
  void ClipToMask(Rect rect, const Raster& mask) noexcept;

  struct Impl;  // the engine's side; not part of the interface
  // For the factories and the engine only.
  explicit GraphicsContext(std::unique_ptr<Impl> impl) noexcept;
  // The engine's side, for the engine's own code.
  Impl& impl() noexcept { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace kelvane::platform
