// fuzz/fuzz_input.h
//
// What the fuzz targets share: a property check that stops the run, and text made from the
// fuzzer's bytes (an odd first byte reads the rest as raw UTF-16 units, so lone surrogates and
// every unit value come up; an even one widens each byte to a unit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kelvane/platform/core/string.h"

namespace kelvane::fuzzing {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

// REQUIRES: size >= 1.
inline String TextFromBytes(const std::uint8_t* data, std::size_t size) {
  String text;
  if ((data[0] & 1) != 0) {
    text.assign((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);
  } else {
    text.assign(data + 1, data + size);
  }
  return text;
}

}  // namespace kelvane::fuzzing
