// SPDX-License-Identifier: Apache-2.0
// The leading decimal number of arbitrary text, read as bytes widened to units or as UTF-16.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_input.h"
#include "kelvane/text/hash.h"

using kelvane::fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::String;
  if (size < 1) return 0;
  const String text = kelvane::fuzzing::TextFromBytes(data, size);
  const std::uint64_t value = kelvane::NSTools::ToUInt64(text);
  Check(value != UINT64_MAX);

  // For plain digit text the value is the decimal number itself, or 0 when it does not fit.
  bool digits_only = !text.empty();
  for (char16_t u : text) digits_only = digits_only && u >= u'0' && u <= u'9';
  if (digits_only) {
    std::size_t first = text.find_first_not_of(u'0');
    const std::size_t significant = first == String::npos ? 0 : text.size() - first;
    if (significant <= 19) {
      const std::string ascii(text.begin(), text.end());
      Check(value == std::stoull(ascii));
    } else if (significant > 20) {
      Check(value == 0);
    }
  }
  return 0;
}
