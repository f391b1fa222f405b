// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/internal/exact_double.h
//
// The exact way a double becomes a decimal: its shortest round-trip text read into digits, then
// rounded in integers. Decimal::FromDouble takes a quicker way through double arithmetic where
// that cannot change the result, and comes here otherwise; the tests and the benchmark hold the
// two against each other. Not installed.
#pragma once

#include <optional>

#include "kelvane/numbers/decimal.h"

namespace kelvane::internal {

// What Decimal::FromDouble(value, digits, rounding) gives, always by the exact way.
[[nodiscard]] std::optional<Decimal> FromDoubleExact(double value, int digits,
                                                     Rounding rounding) noexcept;

}  // namespace kelvane::internal
