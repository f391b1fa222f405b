// SPDX-License-Identifier: Apache-2.0
// Parameter-string reading on arbitrary text, keys and stop sets. The input is read as UTF-16
// units: the first two bytes give the key and stop-set lengths, the rest is key, stops, line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/i18n/charset.h"
#include "kelvane/text/param_string.h"

using kelvane::fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::String;
  using kelvane::platform::CharacterSet;
  if (size < 3) return 0;
  const std::size_t key_units = data[0] % 16;
  const std::size_t stop_units = data[1] % 8;
  const bool null_stop = (data[1] & 0x80) != 0;
  const std::size_t buffer_bytes = data[2] % 40;
  String units((size - 3) / 2, u'\0');
  std::memcpy(units.data(), data + 3, units.size() * 2);
  if (units.size() < key_units + stop_units) return 0;

  const String key = units.substr(0, key_units);
  const CharacterSet stop =
      CharacterSet::FromCharacters(std::u16string_view(units).substr(key_units, stop_units));
  const String line = units.substr(key_units + stop_units);
  const CharacterSet* stop_set = null_stop ? nullptr : &stop;

  const std::optional<String> value = kelvane::NSTools::FindValue(line, key, stop_set);
  if (value.has_value()) {
    // The value sits right after the key's first occurrence and holds no stop unit.
    const std::size_t at = line.find(key);
    Check(!key.empty() && at != String::npos);
    Check(line.compare(at + key.size(), value->size(), *value) == 0);
    for (char16_t u : *value) Check(stop_set == nullptr || !stop_set->Contains(u));
    const std::size_t end = at + key.size() + value->size();
    Check(end == line.size() || (stop_set != nullptr && stop_set->Contains(line[end])));
  }

  // A buffer with guard units on both sides.
  unsigned short buffer[24];
  for (auto& u : buffer) u = 0xBEEF;
  const bool found = kelvane::NSTools::ReadParam(line, key, stop_set, buffer + 2, buffer_bytes);
  Check(buffer[0] == 0xBEEF && buffer[1] == 0xBEEF);
  for (std::size_t i = 2 + buffer_bytes / 2; i < 24; ++i) Check(buffer[i] == 0xBEEF);
  Check(found == (value.has_value() && buffer_bytes >= 2));

  std::int32_t i32 = 0;
  std::int64_t i64 = 0;
  double d = 0;
  Check(kelvane::NSTools::ReadParam(line, key, stop_set, &i32) == value.has_value());
  Check(kelvane::NSTools::ReadParam(line, key, stop_set, &i64) == value.has_value());
  Check(kelvane::NSTools::ReadParam(line, key, stop_set, &d) == value.has_value());
  if (value.has_value()) {
    // The 32-bit reading is the 64-bit one clamped.
    const std::int64_t clamped = i64 < INT32_MIN ? INT32_MIN : (i64 > INT32_MAX ? INT32_MAX : i64);
    Check(i32 == clamped);
  }

  String k, v;
  if (kelvane::NSTools::ReadKey(line, &k, &v, key)) {
    Check(!k.empty() || line.find(key) != 0);
    Check(k.size() + v.size() + key.size() <= line.size());
  }
  return 0;
}
