// SPDX-License-Identifier: Apache-2.0
// kelvane/images/image_attachment.h
//
// An image as inline text: a one-character attributed string whose character is an attachment
// carrying the image, raised or lowered by a baseline offset over its whole length.
//
// Threads: no shared state; any thread.
#pragma once

#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/fonts/attributed_string.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane {
namespace Create {

// The attachment string of `self` with `offset` points of baseline offset (positive raises).
// With `Template` set the attachment holds `self` in template rendering mode (drawn in the
// text's colour), else `self` itself. nullopt for a null image or when memory runs out.
[[nodiscard]] KELVANE_EXPORT std::optional<platform::MutableAttributedString> stringBaselineOffset(
    const platform::ImageRef& self, double offset, bool Template) noexcept;

// stringBaselineOffset(self, offset, true).
[[nodiscard]] KELVANE_EXPORT std::optional<platform::MutableAttributedString> stringBaselineOffset(
    const platform::ImageRef& self, double offset) noexcept;

}  // namespace Create
}  // namespace kelvane
