// SPDX-License-Identifier: Apache-2.0
// kelvane/time/internal/state.h
//
// The state STime fixes once, on first use, shared by the files of the time subsystem.
// Internal to the time subsystem.
#pragma once

#include <cstdint>

#include "kelvane/platform/i18n/date_format.h"

namespace kelvane::time_internal {

// Makes the one-time state if it has not been made yet.
void EnsureInitialized() noexcept;

// The shared formatters; null only when the locale data could not provide them.
// REQUIRES: EnsureInitialized() was called.
[[nodiscard]] const platform::DateFormatter* SharedDateFormatter() noexcept;
[[nodiscard]] const platform::DateFormatter* SharedTimeFormatter() noexcept;

// Makes the one-time state again from the clock and device facts in force now, as if the
// process had just started. For tests that fix the clock, language and zone.
// REQUIRES: no other thread uses STime during the call or still holds a shared formatter.
void ReinitializeForTesting() noexcept;

// Wrapping 64-bit arithmetic: the conversions are defined to wrap rather than overflow.
[[nodiscard]] constexpr std::int64_t WrapAdd(std::int64_t a, std::int64_t b) noexcept {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
[[nodiscard]] constexpr std::int64_t WrapSub(std::int64_t a, std::int64_t b) noexcept {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
[[nodiscard]] constexpr std::int64_t WrapMul(std::int64_t a, std::int64_t b) noexcept {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}

}  // namespace kelvane::time_internal
