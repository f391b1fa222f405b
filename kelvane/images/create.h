// SPDX-License-Identifier: Apache-2.0
// kelvane/images/create.h
//
// Image file names the library can load, and images recoloured with a tint.
//
// Threads: every function may be called from any thread at once. imageWithTint() draws on the
// calling thread's own drawing-context stack and leaves it as it found it.
#pragma once

#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane {
namespace Create {

// True when the extension of `path` (the text after the last '.' of its last component,
// trailing '/' ignored) is, ignoring case, one of "png", "tiff", "tif", "jpeg", "jpg", "gif",
// "bmp", "BMPf", "ico", "cur", "xbm". A name without a '.' has no extension and gives false.
[[nodiscard]] KELVANE_EXPORT bool isSupportdedExtension(std::u16string_view path) noexcept;

// The image drawn as a template (its alpha coverage) in `color`, at its own size in points and
// its scale, transparent elsewhere; the result is in rendering mode 1 (always original), so it
// keeps that colour wherever it is drawn. A null colour draws in black. Null when the image has
// no raster or memory runs out.
[[nodiscard]] KELVANE_EXPORT platform::ImageRef imageWithTint(
    const platform::Image& image, const platform::ColorRef& color) noexcept;

}  // namespace Create
}  // namespace kelvane
