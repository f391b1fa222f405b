// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/utf8.h"

#include "kelvane/platform/i18n/unicode.h"

namespace kelvane {

std::optional<String> StringFromUtf8(std::string_view bytes) noexcept {
  try {
    String out;
    if (!platform::Utf8ToUtf16(bytes, out)) return std::nullopt;
    return out;
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<std::string> Utf8FromString(std::u16string_view text) noexcept {
  try {
    std::string out;
    if (!platform::Utf16ToUtf8(text, out)) return std::nullopt;
    return out;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace kelvane
