// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/steady_time.h
//
// The steady advance behind SteadyTime(), for the dispatch layer: it converts deadlines back to
// the system's monotonic clock, and it is woken when the advance changes.
#pragma once

#include <chrono>

namespace kelvane::platform::internal {

// The steady advance in force: SteadyTime() minus the system's steady clock.
[[nodiscard]] std::chrono::nanoseconds SteadyAdvance() noexcept;

// Moves the steady time forward by `delta` (nothing when delta <= 0): into the installation's
// advance while a clock is installed, into the permanent one otherwise. Then calls the listener.
void AdvanceSteadyTime(std::chrono::nanoseconds delta) noexcept;

// Called after each change of the steady advance, on the thread that made it and outside every
// lock of the clock: `forward` when an advance moved it on, false when it went back (the system
// clock returned). One listener per process, the dispatch layer's; setting it again replaces it.
// It must be quick.
using SteadyTimeListener = void (*)(bool forward) noexcept;
void SetSteadyTimeListener(SteadyTimeListener listener) noexcept;

}  // namespace kelvane::platform::internal
