// tools/kelvane/utf8.h
//
// Command-line text is UTF-8; the library's strings are UTF-16. These conversions never fail:
// a malformed byte sequence becomes U+FFFD on the way in, an unpaired surrogate U+FFFD on the
// way out, so that a tool always has something to print.
#pragma once

#include <string>
#include <string_view>

#include "kelvane/platform/string.h"
#include "kelvane/platform/unicode.h"

namespace kelvane::cli {

inline String Utf8ToString(std::string_view bytes) {
  return platform::Utf8ToUtf16Replacing(bytes);
}

inline std::string StringToUtf8(std::u16string_view text) {
  return platform::Utf16ToUtf8Replacing(text);
}

}  // namespace kelvane::cli
