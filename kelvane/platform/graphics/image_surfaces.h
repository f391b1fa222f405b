// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/image_surfaces.h
//
// The per-thread stack of current drawing contexts, and the image renderer.
//
// BeginImageContextWithOptions opens an image surface and makes it the current context of the
// calling thread until EndImageContext; contexts nest. A begin that fails (an empty size, an
// absurd scale) still takes a place on the stack, with no context, so that begins and ends
// stay paired: GetCurrentContext() is null until the matching end. PushContext makes a context
// the caller owns current (for drawing code that draws into "the current context").
//
// A begin or push that cannot be stored (memory runs out, or kMaxContextDepth entries are open
// on the thread) takes its place all the same, without a context: GetCurrentContext() is null
// until the matching end or pop, and nothing above it is stored until then. However a begin or
// push ends, its matching end or pop never closes an entry the caller opened before it.
//
// The image renderer opens a fresh surface per call, makes it current while the drawing action
// runs, and returns the image (or its JPEG or PNG bytes); the renderer keeps nothing.
//
// Memory: a surface starts transparent (black when opaque). Surfaces of 32 MiB of pixels and
// more draw on memory from the process's pool of pixel blocks, which takes it back when the
// surface and every image over its pixels are gone and keeps at most 160 MiB in 8 blocks, each
// for at most about 2 seconds unused (platform/graphics/internal/pixel_memory.h); a surface
// made on a kept block starts cleared all the same.
//
// Threads: the stack belongs to the calling thread; contexts are never shared between stacks.
// A renderer may be used from any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane::platform {

// The most entries a thread's stack stores; deeper begins and pushes fail (see above).
inline constexpr std::size_t kMaxContextDepth = 1024;

// Opens an image surface of `size` points at `scale` (0: the screen's) as the current context.
// False when no surface could be made or stored (the stack still grows by one, see above).
KELVANE_EXPORT bool BeginImageContextWithOptions(Size size, bool opaque, double scale) noexcept;
// BeginImageContextWithOptions(size, false, 1).
KELVANE_EXPORT bool BeginImageContext(Size size) noexcept;
// The current context of this thread, or null.
[[nodiscard]] KELVANE_EXPORT GraphicsContext* GetCurrentContext() noexcept;
// The image of the current context when it is an image surface opened above; null otherwise.
[[nodiscard]] KELVANE_EXPORT ImageRef GetImageFromCurrentImageContext() noexcept;
// Closes the innermost image surface opened above, when it is the current entry; nothing
// otherwise.
KELVANE_EXPORT void EndImageContext() noexcept;
// GetImageFromCurrentImageContext() and EndImageContext() in one step, without copying the
// pixels: the image takes the surface over (GraphicsContext::TakeImage). The surface is closed
// as EndImageContext() closes it, also when the result is null.
[[nodiscard]] KELVANE_EXPORT ImageRef TakeImageAndEndImageContext() noexcept;
// Makes `context` current until PopContext. REQUIRES: it outlives its place on the stack.
KELVANE_EXPORT void PushContext(GraphicsContext& context) noexcept;
// Removes the current entry when PushContext put it there; nothing otherwise.
KELVANE_EXPORT void PopContext() noexcept;

// How an ImageRenderer makes its surfaces.
struct KELVANE_EXPORT ImageRendererFormat {
  double scale = 0.0;   // pixels per point; 0 is the screen's scale
  bool opaque = false;  // no alpha: the surface starts black
  // The screen's scale, not opaque.
  [[nodiscard]] static ImageRendererFormat Default() noexcept;
};

// What a renderer draws: called with the fresh surface, current for the call.
using DrawingActions = std::function<void(GraphicsContext&)>;

// Draws pictures of one size and format: each call on a fresh image surface.
class KELVANE_EXPORT ImageRenderer {
 public:
  // A renderer of pictures of `size` points in `format`.
  explicit ImageRenderer(Size size, ImageRendererFormat format = ImageRendererFormat::Default())
      : size_(size), format_(format) {}

  // Runs `actions` on a fresh surface and returns its image; null when no surface could be
  // made or the actions threw.
  [[nodiscard]] ImageRef Image(const DrawingActions& actions) const noexcept;
  // The same picture encoded as JPEG at `quality` 0..1 (see codecs/jpeg.h); nullopt on failure.
  [[nodiscard]] std::optional<Data> JPEGData(double quality,
                                             const DrawingActions& actions) const noexcept;
  // The same picture encoded as PNG; nullopt on failure.
  [[nodiscard]] std::optional<Data> PNGData(const DrawingActions& actions) const noexcept;

  // The size in points, as constructed.
  [[nodiscard]] Size size() const noexcept { return size_; }
  // The format, as constructed.
  [[nodiscard]] const ImageRendererFormat& format() const noexcept { return format_; }

 private:
  Size size_;
  ImageRendererFormat format_;
};

}  // namespace kelvane::platform
