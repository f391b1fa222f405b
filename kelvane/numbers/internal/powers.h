// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/internal/powers.h
//
// Powers of ten, once for the decimal, the formatter and the reader: exact in 128-bit integers up
// to the largest a signed one holds, and as doubles up to 10^18 (every power up to 10^22 is a
// double exactly, so scaling by one rounds once). Not installed.
#pragma once

#include <cstdint>

namespace kelvane::internal {

// 10^0 .. 10^38 in 128 bits.
inline constexpr auto kPowersOfTen = [] {
  struct Table {
    __int128 v[39];
  } table{};
  table.v[0] = 1;
  for (int i = 1; i < 39; ++i) table.v[i] = table.v[i - 1] * 10;
  return table;
}();

// 10^exponent. REQUIRES: 0 <= exponent <= 38.
[[nodiscard]] constexpr __int128 PowerOfTenWide(int exponent) noexcept {
  return kPowersOfTen.v[exponent];
}

// 10^exponent. REQUIRES: 0 <= exponent <= 19.
[[nodiscard]] constexpr std::uint64_t PowerOfTen(int exponent) noexcept {
  return static_cast<std::uint64_t>(kPowersOfTen.v[exponent]);
}

// 10^0 .. 10^18 as doubles, each exact.
inline constexpr double kPowersOfTenDouble[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                                1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                                1e14, 1e15, 1e16, 1e17, 1e18};

}  // namespace kelvane::internal
