// SPDX-License-Identifier: Apache-2.0
// kelvane/runtime/internal/nanoseconds.h
//
// The conversion of the timers' delays in seconds; for the library and its tests, not
// installed.
#pragma once

#include "kelvane/platform/dispatch/dispatch.h"

namespace kelvane::internal {

// Seconds to nanoseconds: times 1e9, truncated, saturated to the signed 64-bit range, NaN as 0.
[[nodiscard]] platform::Nanoseconds SecondsToNanoseconds(double seconds) noexcept;

}  // namespace kelvane::internal
