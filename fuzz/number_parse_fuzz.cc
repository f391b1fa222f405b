// SPDX-License-Identifier: Apache-2.0
// The number reader on arbitrary text, in locales and styles chosen by the first bytes: whatever
// reads writes within kMaxUnits, and what it writes reads back as a value that writes the same
// text again. Errors stand inside the text, and the UTF-8 form agrees with the UTF-16 one on
// whether the text reads.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_input.h"
#include "kelvane/numbers/number_format.h"

using kelvane::Decimal;
using kelvane::NumberFormatter;
using kelvane::NumberOptions;
using kelvane::NumberParse;
using kelvane::NumberStyle;
using kelvane::fuzzing::Check;

namespace {

constexpr const char* kLocales[] = {"en-US", "de-CH", "fr-FR", "hi-IN",
                                    "ar-EG", "fa-IR", "bn-BD", "ja-JP"};

std::shared_ptr<const NumberFormatter> Formatter(std::uint8_t choice) {
  NumberOptions options;
  options.style = static_cast<NumberStyle>((choice >> 3) % 5);
  if (options.style == NumberStyle::kMoney) options.currency = "EUR";
  if ((choice & 0x80) != 0 && options.style == NumberStyle::kPrice) {
    options.tick = *Decimal::Make(78125, 7);  // 1/128
    options.fractional = true;
  }
  return NumberFormatter::Make(kLocales[choice & 7], options);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto formatter = Formatter(data[0]);
  Check(formatter != nullptr);
  const kelvane::String text = kelvane::fuzzing::TextFromBytes(data + 1, size - 1);
  const NumberParse read = formatter->Parse(text);
  Check(read.value.has_value() == (read.error == kelvane::NumberParseError::kNone));
  if (!read.value) {
    Check(read.position <= text.size());
  } else {
    const kelvane::String written = formatter->Format(*read.value);
    Check(!written.empty());
    Check(written.size() <= NumberFormatter::kMaxUnits);
    const NumberParse again = formatter->Parse(written);
    Check(again.value.has_value());
    Check(formatter->Format(*again.value) == written);
  }
  // The raw bytes as UTF-8.
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const NumberParse utf8 = formatter->Parse(bytes);
  Check(utf8.value.has_value() == (utf8.error == kelvane::NumberParseError::kNone));
  Check(utf8.value.has_value() || utf8.position <= bytes.size());
  return 0;
}
