// kelvane/testing/main_queue.h
//
// Test helpers for code that reports through the main queue: run it (or just wait) until a
// condition holds, with a limit so a broken test fails instead of hanging.
#pragma once

#include <chrono>
#include <thread>

#include "kelvane/platform/dispatch.h"

namespace kelvane::testing {

// Runs the main queue until `done` holds or `limit` passes; whether it held.
template <typename F>
bool RunMainUntil(F done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = platform::DispatchClock::now() + limit;
  while (!done()) {
    if (platform::DispatchClock::now() > end) return false;
    platform::RunMainQueueFor(std::chrono::milliseconds(2));
  }
  return true;
}

// Waits, without running the main queue, until `done` holds or `limit` passes; whether it held.
template <typename F>
bool WaitUntil(F done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = platform::DispatchClock::now() + limit;
  while (!done()) {
    if (platform::DispatchClock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace kelvane::testing
