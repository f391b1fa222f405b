#include "kelvane/platform/graphics/image_surfaces.h"

#include <memory>
#include <new>
#include <vector>

#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/device/screen.h"

namespace kelvane::platform {
namespace {

struct Entry {
  std::unique_ptr<GraphicsContext> owned;  // image surfaces opened here (null when that failed)
  GraphicsContext* context = nullptr;
  bool image_surface = false;  // put here by a begin, not by PushContext
};

thread_local std::vector<Entry> t_stack;

// Pushes a fresh surface for the renderer and pops it however the actions end.
class RendererScope {
 public:
  RendererScope(Size size, const ImageRendererFormat& format) {
    ok_ = BeginImageContextWithOptions(size, format.opaque, format.scale);
  }
  ~RendererScope() { EndImageContext(); }
  [[nodiscard]] GraphicsContext* context() const { return ok_ ? GetCurrentContext() : nullptr; }

 private:
  bool ok_ = false;
};

ImageRef Render(Size size, const ImageRendererFormat& format, const DrawingActions& actions) {
  try {
    RendererScope scope(size, format);
    GraphicsContext* context = scope.context();
    if (context == nullptr) return nullptr;
    if (actions) actions(*context);
    return context->TakeImage();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

bool BeginImageContextWithOptions(Size size, bool opaque, double scale) noexcept {
  try {
    std::unique_ptr<GraphicsContext> context =
        GraphicsContext::MakeImageSurface(size, opaque, scale);
    GraphicsContext* raw = context.get();
    t_stack.push_back({std::move(context), raw, true});
    return raw != nullptr;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool BeginImageContext(Size size) noexcept {
  return BeginImageContextWithOptions(size, false, 1.0);
}

GraphicsContext* GetCurrentContext() noexcept {
  return t_stack.empty() ? nullptr : t_stack.back().context;
}

ImageRef GetImageFromCurrentImageContext() noexcept {
  if (t_stack.empty() || !t_stack.back().image_surface || t_stack.back().context == nullptr) {
    return nullptr;
  }
  return t_stack.back().context->CreateImage();
}

void EndImageContext() noexcept {
  if (!t_stack.empty() && t_stack.back().image_surface) t_stack.pop_back();
}

ImageRef TakeImageAndEndImageContext() noexcept {
  if (t_stack.empty() || !t_stack.back().image_surface) return nullptr;
  ImageRef image = t_stack.back().context != nullptr ? t_stack.back().context->TakeImage() : nullptr;
  t_stack.pop_back();
  return image;
}

void PushContext(GraphicsContext& context) noexcept {
  try {
    t_stack.push_back({nullptr, &context, false});
  } catch (const std::bad_alloc&) {
  }
}

void PopContext() noexcept {
  if (!t_stack.empty() && !t_stack.back().image_surface) t_stack.pop_back();
}

ImageRendererFormat ImageRendererFormat::Default() noexcept {
  return {CurrentScreenFacts().scale, false};
}

ImageRef ImageRenderer::Image(const DrawingActions& actions) const noexcept {
  return Render(size_, format_, actions);
}

std::optional<Data> ImageRenderer::JPEGData(double quality,
                                            const DrawingActions& actions) const noexcept {
  const ImageRef image = Render(size_, format_, actions);
  if (image == nullptr) return std::nullopt;
  return EncodeJPEG(*image->raster(), quality);
}

std::optional<Data> ImageRenderer::PNGData(const DrawingActions& actions) const noexcept {
  const ImageRef image = Render(size_, format_, actions);
  if (image == nullptr) return std::nullopt;
  return EncodePNG(*image->raster());
}

}  // namespace kelvane::platform
