// SPDX-License-Identifier: Apache-2.0
#include "kelvane/images/image_attachment.h"

#include <memory>

namespace kelvane {
namespace Create {

std::optional<platform::MutableAttributedString> stringBaselineOffset(
    const platform::ImageRef& self, double offset, bool Template) noexcept {
  if (self == nullptr) return std::nullopt;
  try {
    platform::ImageRef image =
        Template ? self->WithRenderingMode(platform::kRenderingAlwaysTemplate) : self;
    if (image == nullptr) return std::nullopt;
    auto attachment = std::make_shared<const platform::TextAttachment>(
        platform::TextAttachment{std::move(image)});
    platform::MutableAttributedString text(
        platform::AttributedString::WithAttachment(std::move(attachment)));
    platform::TextAttributes raised;
    raised.baseline_offset = offset;
    if (!text.AddAttributes(raised, {0, text.length()})) return std::nullopt;
    return text;
  } catch (...) {  // std::bad_alloc
    return std::nullopt;
  }
}

std::optional<platform::MutableAttributedString> stringBaselineOffset(
    const platform::ImageRef& self, double offset) noexcept {
  return stringBaselineOffset(self, offset, true);
}

}  // namespace Create
}  // namespace kelvane
