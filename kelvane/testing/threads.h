// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/threads.h
//
// Test helpers for code with per-thread state and for races: a body run on a thread of its own
// (whose thread-local state starts empty), and a body run on several threads at once.
#pragma once

#include <thread>
#include <vector>

namespace kelvane::testing {

// Runs `body` on a fresh thread and waits for it.
template <typename F>
void OnFreshThread(F body) {
  std::thread(body).join();
}

// Runs f(0) .. f(n - 1) on n threads at once and waits for all of them.
template <typename F>
void OnThreads(int n, F f) {
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t) threads.emplace_back(f, t);
  for (auto& thread : threads) thread.join();
}

}  // namespace kelvane::testing
