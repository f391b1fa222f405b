// The leading decimal number of arbitrary text, read as bytes widened to units or as UTF-16.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kelvane/text/hash.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::String;
  if (size < 1) return 0;
  String text;
  if ((data[0] & 1) != 0) {
    text.assign((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);
  } else {
    text.assign(data + 1, data + size);
  }
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
