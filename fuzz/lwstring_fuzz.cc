// SPDX-License-Identifier: Apache-2.0
// Decodes arbitrary 32-bit units as an LWString and checks the result against an independent
// reading of the same units: a String comes back exactly when every unit is a scalar value, and
// its UTF-32 form gives the units back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "kelvane/runtime/scratch_environment.h"
#include "kelvane/text/wide_string.h"

namespace {

using kelvane::fuzzing::Check;

bool IsScalar(wchar_t unit) {
  const auto u = static_cast<uint32_t>(unit);
  return u <= 0x10FFFF && (u < 0xD800 || u > 0xDFFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::size_t count = size / sizeof(wchar_t);
  std::vector<wchar_t> units(count + 1, 0);  // aligned copy, zero-terminated
  if (count > 0) std::memcpy(units.data(), data, count * sizeof(wchar_t));

  bool all_scalars = true;
  std::size_t supplementary = 0;
  for (std::size_t i = 0; i < count; ++i) {
    all_scalars = all_scalars && IsScalar(units[i]);
    supplementary += static_cast<uint32_t>(units[i]) > 0xFFFF;
  }

  const auto length = static_cast<unsigned int>(count);
  const std::optional<kelvane::String> text =
      kelvane::NSTools::initWithLWString(units.data(), length);
  Check(text.has_value() == all_scalars);
  if (text) {
    Check(text->size() == count + supplementary);
    Check(kelvane::NSTools::UTF32Length(*text) == length);
    const wchar_t* back = kelvane::NSTools::UTF32String(*text);
    Check(back != nullptr);
    Check(std::memcmp(back, units.data(), count * sizeof(wchar_t)) == 0);
    Check(back[count] == 0);
    // The UTF-16 side: the receiver's own buffer, and a String made back from it up to the
    // first zero unit.
    const unsigned short* utf16 = kelvane::NSTools::UTF16String(*text);
    const std::optional<kelvane::String> again = kelvane::NSTools::stringWithWString(utf16);
    Check(again.has_value());
    Check(again->size() == kelvane::NSTools::Length(utf16));
    Check(kelvane::NSTools::Compare(*text, kelvane::NSTools::UTF16String(*again)) == 0);
  }

  // The zero-terminated form stops at the first zero unit and agrees with the explicit length.
  const std::size_t terminated = std::wcslen(units.data());
  const std::optional<kelvane::String> prefix = kelvane::NSTools::initWithLWString(units.data());
  const std::optional<kelvane::String> counted =
      kelvane::NSTools::initWithLWString(units.data(), static_cast<unsigned int>(terminated));
  Check(prefix.has_value() == counted.has_value());
  if (prefix) Check(*prefix == *counted);

  // The same bytes as UTF-16 units, unpaired surrogates included: the UTF-32 form exists exactly
  // when the units pair up, and the case-insensitive operations stay consistent.
  kelvane::String utf16(size / 2, u'\0');
  if (!utf16.empty()) std::memcpy(utf16.data(), data, utf16.size() * 2);
  bool paired = true;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      paired = false;
    }
  }
  Check((kelvane::NSTools::UTF32String(utf16) != nullptr) == paired);

  static const bool reserved = (kelvane::NSTools::SetEnviromentString(2), true);
  (void)reserved;
  const kelvane::String first = utf16.substr(0, utf16.size() / 2);
  const kelvane::String second = utf16.substr(utf16.size() / 2);
  const unsigned short* a = kelvane::NSTools::UTF16String(first);
  const unsigned short* b = kelvane::NSTools::UTF16String(second);
  Check(kelvane::NSTools::CompareNoCase(a, b) == -kelvane::NSTools::CompareNoCase(b, a));
  Check(kelvane::NSTools::CompareNoCase(a, a) == 0);
  const int at = kelvane::NSTools::ContentsIn(second, a);
  Check(at >= -1 && at < static_cast<int>(kelvane::NSTools::Length(a)));
  // The second half is found in the whole text, unless the halves split a surrogate pair (half
  // a character is never a match) or a zero unit ends the text early.
  const bool split_pair = !first.empty() && !second.empty() && first.back() >= 0xD800 &&
                          first.back() <= 0xDBFF && second.front() >= 0xDC00 &&
                          second.front() <= 0xDFFF;
  if (!second.empty() && !split_pair && second.find(u'\0') == kelvane::String::npos &&
      first.find(u'\0') == kelvane::String::npos) {
    const kelvane::String whole = first + second;
    Check(kelvane::NSTools::ContentsIn(second, kelvane::NSTools::UTF16String(whole)) >= 0);
  }
  return 0;
}
