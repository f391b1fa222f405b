// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/main_queue.h
//
// Test helpers for code that reports through queues: run the main queue (or just wait) until a
// condition holds, with a limit in real time so a broken test fails instead of hanging; and step
// the installed ManualClock instead of sleeping to show what a delay does.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/dispatch/dispatch.h"

namespace kelvane::testing {

// Runs the main queue until `done` holds or `limit` passes; whether it held.
template <typename F>
bool RunMainUntil(F done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    platform::RunMainQueueFor(std::chrono::milliseconds(2));
  }
  return true;
}

// Waits, without running the main queue, until `done` holds or `limit` passes; whether it held.
template <typename F>
bool WaitUntil(F done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits until everything submitted to `queue` so far has run (or `limit` passes); whether it had.
inline bool DrainQueue(const platform::QueueRef& queue,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
  auto reached = std::make_shared<std::atomic<bool>>(false);
  if (!queue->Async([reached] { *reached = true; })) return false;
  return WaitUntil([&reached] { return reached->load(); }, limit);
}

// Advances the installed ManualClock by `delta` and runs the main queue until everything on it
// that fell due by then has run (a marker due at the same instant runs after it). Whether the
// marker ran in time; false, with nothing moved, when the installed clock is not a ManualClock.
// The test installs one for its whole length, e.g.
//   platform::ManualClock clock(platform::Clock::System().Now());
//   platform::ScopedClock scoped(clock);
// and its advances end with it.
inline bool StepMainQueue(platform::Nanoseconds delta) {
  auto* clock = dynamic_cast<platform::ManualClock*>(&platform::CurrentClock());
  if (clock == nullptr) return false;
  while (platform::PollMainQueue() != 0) {
  }  // timers programmed from outside are armed first
  bool reached = false;
  if (!platform::MainQueue()->After(delta, [&reached] { reached = true; })) return false;
  clock->Advance(std::chrono::duration<double>(delta).count());
  return RunMainUntil([&reached] { return reached; });
}

}  // namespace kelvane::testing
