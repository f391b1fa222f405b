// SPDX-License-Identifier: Apache-2.0
// fuzz/fuzz_input.h
//
// What the fuzz targets share: a property check that stops the run, and text made from the
// fuzzer's bytes (an odd first byte reads the rest as raw UTF-16 units, so lone surrogates and
// every unit value come up; an even one widens each byte to a unit), and a default for the largest
// input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

// For LLVMFuzzerInitialize: gives libFuzzer a largest input of `bytes` unless the command line
// sets one, so that a target built for large inputs meets them on a plain run.
inline void DefaultMaxLen(int* argc, char*** argv, std::size_t bytes) {
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp((*argv)[i], "-max_len=", 9) == 0) return;
  }
  static std::string flag;
  static std::vector<char*> args;
  flag = "-max_len=" + std::to_string(bytes);
  args.assign(*argv, *argv + *argc);
  args.push_back(flag.data());
  args.push_back(nullptr);
  *argv = args.data();
  *argc += 1;
}

}  // namespace kelvane::fuzzing
