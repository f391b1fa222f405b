// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/dispatch/apply.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "kelvane/platform/dispatch/dispatch.h"

namespace kelvane::platform {
namespace {

thread_local unsigned kept_on_thread = 0;

// Shared by the caller and the pool's helpers. A helper that starts after every part was taken
// leaves without touching `work`, which lives only as long as the caller waits.
struct Parts {
  const std::function<void(std::size_t)>* work = nullptr;
  std::size_t count = 0;
  std::atomic<std::size_t> next{0};
  std::size_t finished = 0;  // under `lock`
  std::mutex lock;
  std::condition_variable all_done;

  // Takes and runs parts until none is left.
  void Run() noexcept {
    std::size_t ran = 0;
    for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count; ++ran) {
      try {
        (*work)(i);
      } catch (...) {
      }
    }
    if (ran == 0) return;
    const std::lock_guard<std::mutex> guard(lock);
    finished += ran;
    if (finished == count) all_done.notify_all();
  }
};

// The pool's size as its threads see it; the calling thread makes one more.
std::size_t PoolThreads() noexcept {
  return std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
}

}  // namespace

KeepOnThisThread::KeepOnThisThread() noexcept { ++kept_on_thread; }
KeepOnThisThread::~KeepOnThisThread() { --kept_on_thread; }

std::size_t ConcurrencyWidth() noexcept {
  if (kept_on_thread > 0) return 1;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return std::min<std::size_t>(cores, PoolThreads() + 1);
}

void ApplyConcurrently(std::size_t count, const std::function<void(std::size_t)>& work) noexcept {
  if (count == 0 || !work) return;
  const auto run_here = [&] {
    for (std::size_t i = 0; i < count; ++i) {
      try {
        work(i);
      } catch (...) {
      }
    }
  };
  const QueueRef pool = count > 1 && kept_on_thread == 0 ? GlobalQueue() : nullptr;
  if (pool == nullptr) return run_here();
  std::shared_ptr<Parts> parts;
  try {
    parts = std::make_shared<Parts>();
  } catch (...) {
    return run_here();
  }
  parts->work = &work;
  parts->count = count;
  const std::size_t helpers = std::min(count, ConcurrencyWidth()) - 1;
  for (std::size_t h = 0; h < helpers; ++h) {
    if (!pool->Async([parts] { parts->Run(); })) break;  // the caller does the rest
  }
  parts->Run();
  std::unique_lock<std::mutex> guard(parts->lock);
  parts->all_done.wait(guard, [&] { return parts->finished == count; });
}

}  // namespace kelvane::platform
