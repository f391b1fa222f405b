// SPDX-License-Identifier: Apache-2.0
// URL rebuilding and form encoding on arbitrary UTF-16 text. The first byte picks whether the
// rest is read as bytes (mostly URL-like ASCII) or as UTF-16 units (anything, lone surrogates
// included).
//
// Properties: URLEncoded fails exactly for ill-formed UTF-16 and otherwise writes only its
// alphabet; a rebuilt URL parses strictly, carries no user information, and rebuilding it again
// gives the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/net/url.h"
#include "kelvane/text/url_tools.h"

namespace {

using kelvane::fuzzing::Check;

bool IsWellFormedUtf16(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

bool IsFormChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'-' || c == u'.' || c == u'_' || c == u'~' || c == u'+' || c == u'%';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::String;
  if (size < 1) return 0;
  const String text = kelvane::fuzzing::TextFromBytes(data, size);

  const std::optional<String> encoded = kelvane::NSTools::URLEncoded(text);
  Check(encoded.has_value() == IsWellFormedUtf16(text));
  if (encoded) {
    Check(encoded->size() >= text.size());
    for (char16_t c : *encoded) Check(IsFormChar(c));
  }

  const std::optional<kelvane::platform::URL> url = kelvane::NSTools::URL(text);
  if (url) {
    Check(!url->user().has_value() && !url->password().has_value());
    Check(url->host().has_value() && !url->host()->empty());
    Check(kelvane::platform::URL::Parse(url->absoluteString()).has_value());
    const std::optional<kelvane::platform::URL> again =
        kelvane::NSTools::URL(url->absoluteString());
    Check(again.has_value() && *again == *url);
  }
  (void)kelvane::platform::SplitURL(text);
  (void)kelvane::Network::IsValidIPAddress(text);
  return 0;
}
