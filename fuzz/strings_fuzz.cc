// SPDX-License-Identifier: Apache-2.0
// String tables from untrusted bytes. Nothing may crash or read past the input; whatever loads
// holds well-formed text only, and written back in the text form it loads again unchanged.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/i18n/strings_table.h"
#include "kelvane/platform/i18n/unicode.h"

namespace {

using kelvane::fuzzing::Check;

// `text` as a quoted string of the text form, every unit below U+0020, '"' and '\' escaped.
void AppendQuoted(const kelvane::String& text, kelvane::String& out) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out.push_back(u'"');
  for (char16_t c : text) {
    if (c == u'"' || c == u'\\') {
      out.push_back(u'\\');
      out.push_back(c);
    } else if (c < 0x20) {
      out += u"\\U00";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back(u'"');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const auto table = kelvane::platform::ParseStringsTable({bytes, size});
  if (!table) return 0;
  kelvane::String text = u"// again\n";
  std::string utf8;
  for (const auto& [key, value] : *table) {
    Check(kelvane::platform::Utf16ToUtf8(key, utf8) && kelvane::platform::Utf16ToUtf8(value, utf8));
    AppendQuoted(key, text);
    text += u" = ";
    AppendQuoted(value, text);
    text += u";\n";
  }
  Check(kelvane::platform::Utf16ToUtf8(text, utf8));
  const auto again = kelvane::platform::ParseStringsTable(
      {reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()});
  Check(again.has_value() && *again == *table);
  return 0;
}
