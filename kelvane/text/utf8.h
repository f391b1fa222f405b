// SPDX-License-Identifier: Apache-2.0
// kelvane/text/utf8.h
//
// The UTF-8 bridge: the library's strings are UTF-16 (String), while files, command lines and
// most other libraries speak UTF-8. Both directions are strict: text that is not well-formed
// comes back as an empty optional instead of being patched, so a caller never stores or sends
// a silently altered text.
//
// Threads: pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane {

// The UTF-16 form of UTF-8 `bytes`. nullopt for malformed input (a bad or cut sequence, an
// overlong form, an encoded surrogate, a value past U+10FFFF) or when memory ran out.
// U+0000 is a character like any other.
[[nodiscard]] KELVANE_EXPORT std::optional<String> StringFromUtf8(std::string_view bytes) noexcept;

// The UTF-8 form of `text`. nullopt when the text holds an unpaired surrogate (it has no UTF-8
// form) or when memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<std::string> Utf8FromString(
    std::u16string_view text) noexcept;

}  // namespace kelvane
