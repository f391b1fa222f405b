#include "kelvane/interface/gui_cache.h"

#include <cmath>
#include <new>
#include <numbers>

#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/graphics/path.h"
#include "kelvane/platform/ui/layer.h"

namespace kelvane {
namespace {

using platform::Path;
using platform::Rect;

constexpr double kPi = std::numbers::pi;

// The platform refuses arcs of a negative or unknown radius; a corner without one is square.
double CornerRadius(double radius) { return std::isfinite(radius) && radius > 0 ? radius : 0; }

}  // namespace

void SGUICache::DrawRoundRect(Rect rect, platform::GraphicsContext* context,
                              double roundRadius) noexcept {
  if (context == nullptr) return;
  const double r = CornerRadius(roundRadius);
  const double min_x = rect.MinX(), min_y = rect.MinY(), max_x = rect.MaxX(), max_y = rect.MaxY();
  context->BeginPath();
  // Angles grow from +x towards +y, which runs down an image surface: each arc turns clockwise
  // on screen, and each one joins its start to the end of the one before with a straight edge.
  context->AddArc(min_x + r, min_y + r, r, kPi, -kPi / 2, false);
  context->AddArc(max_x - r, min_y + r, r, -kPi / 2, 0, false);
  context->AddArc(max_x - r, max_y - r, r, 0, kPi / 2, false);
  context->AddArc(min_x + r, max_y - r, r, kPi / 2, kPi, false);
  context->ClosePath();
}

void SGUICache::RoundView(platform::View& view, std::uint64_t corner, double roundRadius) noexcept {
  const platform::LayerRef& layer = view.layer();
  if (corner == 0) {
    layer->set_mask(nullptr);
    return;
  }
  try {
    const double r = CornerRadius(roundRadius);
    const Rect b = view.bounds();
    const double min_x = b.MinX(), min_y = b.MinY(), max_x = b.MaxX(), max_y = b.MaxY();
    Path path;
    if (corner & 1) {
      path.AddArc(min_x + r, min_y + r, r, -kPi, -kPi / 2, false);
      path.AddArc(max_x - r, min_y + r, r, -kPi / 2, 0, false);
    } else {
      path.MoveTo(min_x, min_y);
      path.AddLineTo(max_x, min_y);
    }
    if (corner & 4) {
      path.AddArc(max_x - r, max_y - r, r, 0, kPi / 2, false);
      path.AddArc(min_x + r, max_y - r, r, kPi / 2, kPi, false);
    } else {
      path.AddLineTo(max_x, max_y);
      path.AddLineTo(min_x, max_y);
    }
    path.CloseSubpath();
    platform::ShapeLayerRef mask = platform::ShapeLayer::Make();
    if (mask == nullptr) return;
    mask->set_path(std::move(path));
    layer->set_mask(std::move(mask));
  } catch (const std::bad_alloc&) {
    // The view keeps the mask it had.
  }
}

platform::ImageRef SGUICache::ImageReSize(const platform::ImageRef& image,
                                          platform::Size reSize) noexcept {
  if (image == nullptr) return nullptr;
  const platform::ImageRenderer renderer(reSize);
  return renderer.Image([&](platform::GraphicsContext& context) {
    context.DrawImageInRect(*image, {0, 0, reSize.width, reSize.height});
  });
}

platform::ImageRef SGUICache::ImageWithColor(const platform::ColorRef& color) noexcept {
  if (color == nullptr) return nullptr;
  platform::ImageRef image;
  if (platform::BeginImageContext({1, 1})) {
    platform::GraphicsContext* context = platform::GetCurrentContext();
    context->SetFillColor(color);
    context->FillRect({0, 0, 1, 1});
    image = platform::GetImageFromCurrentImageContext();
  }
  platform::EndImageContext();
  return image;
}

}  // namespace kelvane
