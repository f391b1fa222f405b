// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/create.h"

#include <array>

#include "kelvane/locale/uti.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane {
namespace Create {
namespace {

// Compared in this order; "BMPf" is the one entry spelled with capitals.
constexpr std::array<std::u16string_view, 11> s_ext = {
    u"png", u"tiff", u"tif", u"jpeg", u"jpg", u"gif", u"bmp", u"BMPf", u"ico", u"cur", u"xbm"};

// Closes the image context opened in its constructor, however the drawing ends.
class ImageContextScope {
 public:
  ImageContextScope(platform::Size size, double scale)
      : context_(platform::BeginImageContextWithOptions(size, false, scale)
                     ? platform::GetCurrentContext()
                     : nullptr) {}
  ~ImageContextScope() { platform::EndImageContext(); }
  ImageContextScope(const ImageContextScope&) = delete;
  ImageContextScope& operator=(const ImageContextScope&) = delete;
  [[nodiscard]] platform::GraphicsContext* context() const { return context_; }

 private:
  platform::GraphicsContext* context_;
};

}  // namespace

bool isSupportdedExtension(std::u16string_view path) noexcept {
  const std::u16string_view extension = NSTools::PathExtension(path);
  for (const std::u16string_view entry : s_ext) {
    if (platform::CaseInsensitiveCompare(extension, entry) == 0) return true;
  }
  return false;
}

platform::ImageRef imageWithTint(const platform::Image& image,
                                 const platform::ColorRef& color) noexcept {
  const platform::Size size = image.size();
  platform::ImageRef shape;
  if (image.rendering_mode() != platform::kRenderingAlwaysTemplate) {
    shape = image.WithRenderingMode(platform::kRenderingAlwaysTemplate);
    if (shape == nullptr) return nullptr;
  }
  const platform::Image& stencil = shape != nullptr ? *shape : image;
  const ImageContextScope scope(size, image.scale());
  platform::GraphicsContext* context = scope.context();
  if (context == nullptr) return nullptr;
  context->SetFillColor(color);
  context->SetStrokeColor(color);
  stencil.Draw({0, 0, size.width, size.height});
  const platform::ImageRef tinted = platform::GetImageFromCurrentImageContext();
  return tinted != nullptr ? tinted->WithRenderingMode(platform::kRenderingAlwaysOriginal)
                           : nullptr;
}

}  // namespace Create
}  // namespace kelvane
