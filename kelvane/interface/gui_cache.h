// kelvane/interface/gui_cache.h
//
// SGUICache: the prebuilt font tables of the interface and a few small drawing and widget
// factories (a rounded-rectangle path, a corner mask for views, a plain label, a plain input
// field, a stretched copy of an image and a one-pixel image of a colour).
//
// Threads: the drawing factories use only what they are given and may run on any thread, with
// the usual rule that a context, a view or a layer is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "kelvane/export.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/geometry.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/ui/view.h"

namespace kelvane {

class KELVANE_EXPORT SGUICache {
 public:
  SGUICache() = delete;
  SGUICache(const SGUICache&) = delete;
  SGUICache& operator=(const SGUICache&) = delete;

  // Replaces the current path of `context` by a rounded rectangle: four quarter arcs of radius
  // `roundRadius` joined by the straight edges, clockwise on a y-down surface from
  // (minX, minY + roundRadius), closed. Nothing is filled or stroked. A radius that is not a
  // number of at least 0 counts as 0 (the plain rectangle). Nothing happens without a context.
  static void DrawRoundRect(platform::Rect rect, platform::GraphicsContext* context,
                            double roundRadius) noexcept;

  // Masks the layer of `view` with a shape layer over its bounds whose top corners are arcs of
  // `roundRadius` when bit 1 of `corner` is set and whose bottom corners are arcs when bit 4 is
  // set; the other bits change nothing (corners 2 give the plain rectangle). Corners 0 remove
  // the mask. The radius rule is DrawRoundRect's.
  static void RoundView(platform::View& view, std::uint64_t corner, double roundRadius) noexcept;

  // A new image of `reSize` points (at the screen's scale) with the whole of `image` stretched
  // into it, proportions not kept. Null for a null image or a size that makes no surface.
  [[nodiscard]] static platform::ImageRef ImageReSize(const platform::ImageRef& image,
                                                      platform::Size reSize) noexcept;

  // A new image of 1 x 1 point at scale 1 filled with `color` (resolved for the current
  // appearance). Null for a null colour.
  [[nodiscard]] static platform::ImageRef ImageWithColor(const platform::ColorRef& color) noexcept;
};

}  // namespace kelvane
