// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/internal/round_div.h
//
// The one division that rounds, shared by the decimal and the formatter so that a value rounds
// the same way wherever it is brought to fewer digits.
#pragma once

#include "kelvane/numbers/decimal.h"

namespace kelvane::internal {

// n / d rounded as `rounding` says, ties decided by the whole remainder (not only its first
// digit). REQUIRES: d > 0.
template <typename Int>
constexpr Int RoundDiv(Int n, Int d, Rounding rounding) noexcept {
  const Int q = n / d;
  const Int rem = n % d;
  if (rem == 0) return q;
  const Int away = n < 0 ? q - 1 : q + 1;
  const Int low = rem < 0 ? -rem : rem;
  const Int high = d - low;  // what the remainder lacks of a whole divisor
  switch (rounding) {
    case Rounding::kHalfEven:
      return low > high || (low == high && (q & 1) != 0) ? away : q;
    case Rounding::kHalfUp:
      return low >= high ? away : q;
    case Rounding::kTowardZero:
      return q;
    case Rounding::kFloor:
      return n < 0 ? away : q;
    case Rounding::kCeiling:
      return n > 0 ? away : q;
  }
  return q;
}

}  // namespace kelvane::internal
