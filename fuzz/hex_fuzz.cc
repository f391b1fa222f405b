// SPDX-License-Identifier: Apache-2.0
// Hexadecimal text to bytes on arbitrary text. The first byte picks the buffer length and
// whether the rest is read as bytes (likely digits) or as UTF-16 units (anything at all).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "kelvane/text/hash.h"

namespace {

using kelvane::fuzzing::Check;

bool IsHexDigit(char16_t u) {
  return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::String;
  if (size < 1) return 0;
  const unsigned length = data[0] % 64;
  String text;
  if ((data[0] & 0x80) != 0) {
    text.assign((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);
  } else {
    text.assign(data + 1, data + size);
  }

  std::vector<char> buffer(length + 2, '\x5A');
  kelvane::NSTools::ToHash(text, buffer.data() + 1, length);
  Check(buffer[0] == '\x5A' && buffer[length + 1] == '\x5A');

  bool valid = true;
  for (std::size_t i = 0; i < text.size() && i < 2 * std::size_t{length}; ++i) {
    valid = valid && IsHexDigit(text[i]);
  }
  if (!valid) {
    for (unsigned i = 0; i < length; ++i) Check(buffer[i + 1] == 0);
  }

  const std::optional<kelvane::Data> bytes = kelvane::NSTools::ToHash(text);
  Check(bytes.has_value() == (text.size() % 2 == 0));
  if (bytes.has_value()) {
    Check(bytes->size() == text.size() / 2);
    bool all_valid = true;
    for (char16_t u : text) all_valid = all_valid && IsHexDigit(u);
    if (all_valid && !bytes->empty()) {
      // Encoding the bytes again gives the text back, up to the case of the letters.
      const std::optional<String> again =
          kelvane::NSTools::stringFromHash(reinterpret_cast<const char*>(bytes->data()),
                                           static_cast<unsigned>(bytes->size()), false);
      Check(again.has_value() && again->size() == text.size());
      for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t lower = text[i] >= u'A' && text[i] <= u'F' ? text[i] + 32 : text[i];
        Check((*again)[i] == lower);
      }
    }
  }
  return 0;
}
