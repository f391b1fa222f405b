// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/internal/pixel_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/dispatch/dispatch.h"

namespace kelvane::platform::internal {
namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kAlign = 64;

// Set once the process's statics are being destroyed: blocks given back from then on are freed,
// since the worker pool that sweeps them is about to stop.
std::atomic<bool> exiting{false};

struct ExitMark {
  ~ExitMark() { exiting.store(true, std::memory_order_relaxed); }
};

// Mapped blocks are page aligned and zeroed by the system; smaller ones come from the heap.
void* Allocate(std::size_t capacity) noexcept {
  if (capacity < PixelMemoryPool::kMappedBytes) return std::aligned_alloc(kAlign, capacity);
  void* data = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return data == MAP_FAILED ? nullptr : data;
}

void Free(const PixelMemoryPool::Block& block) noexcept {
  if (block.data == nullptr) return;
  if (block.capacity < PixelMemoryPool::kMappedBytes) return std::free(block.data);
  munmap(block.data, block.capacity);
}

}  // namespace

PixelMemoryPool::~PixelMemoryPool() {
  for (std::size_t i = 0; i < count_; ++i) Free(kept_[i].block);
}

PixelMemoryPool& PixelMemoryPool::Shared() noexcept {
  static PixelMemoryPool* const pool = [] {
    // The worker pool is started first, so that it stops after the mark below is set: until
    // then it can still run the sweeps that blocks given back arm.
    (void)GlobalQueue();
    static NoDestructor<PixelMemoryPool> made(std::size_t{160} << 20, std::size_t{8},
                                              std::chrono::seconds(2));
    made->shared_ = true;
    return &*made;
  }();
  static ExitMark mark;
  return *pool;
}

PixelMemoryPool::Block PixelMemoryPool::Take(std::size_t bytes, Clear clear) noexcept {
  if (bytes == 0 || bytes > SIZE_MAX - kPage) return {};
  bytes = (bytes + kPage - 1) / kPage * kPage;
  Block found;
  std::array<Block, kMaxKept> drop{};
  std::size_t dropped = 0;
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    std::size_t best = count_;
    for (std::size_t i = 0; i < count_; ++i) {
      const std::size_t capacity = kept_[i].block.capacity;
      if (capacity >= bytes && capacity / 2 <= bytes &&
          (best == count_ || capacity < kept_[best].block.capacity)) {
        best = i;
      }
    }
    if (best < count_) found = Remove(best);
    for (std::size_t i = count_; i-- > 0;) {
      if (kept_[i].block.capacity / 2 > bytes) drop[dropped++] = Remove(i);
    }
  }
  for (std::size_t i = 0; i < dropped; ++i) Free(drop[i]);
  if (found.data != nullptr) {
    // Pages already mapped: clearing them costs a fraction of faulting fresh ones in.
    if (clear == Clear::kZero) std::memset(found.data, 0, bytes);
    return found;
  }
  void* data = Allocate(bytes);
  if (data == nullptr) return {};
  if (clear == Clear::kZero && bytes < kMappedBytes) std::memset(data, 0, bytes);
  return {data, bytes};
}

void PixelMemoryPool::Give(Block block) noexcept {
  if (block.data == nullptr) return;
  if (block.capacity > kept_bytes_ || max_blocks_ == 0 ||
      (shared_ && exiting.load(std::memory_order_relaxed))) {
    return Free(block);
  }
  std::array<Block, kMaxKept> drop{};
  std::size_t dropped = 0;
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    while (count_ >= max_blocks_ || bytes_ + block.capacity > kept_bytes_) {
      drop[dropped++] = Remove(0);
    }
    kept_[count_++] = {block, Clock::now()};
    bytes_ += block.capacity;
  }
  for (std::size_t i = 0; i < dropped; ++i) Free(drop[i]);
  if (shared_) ScheduleSweep();
}

std::size_t PixelMemoryPool::KeptCount() noexcept {
  const std::lock_guard<std::mutex> guard(mutex_);
  return count_;
}

std::size_t PixelMemoryPool::KeptBytes() noexcept {
  const std::lock_guard<std::mutex> guard(mutex_);
  return bytes_;
}

// Removes kept_[i], keeping the others oldest first. REQUIRES: mutex_ held, i < count_.
PixelMemoryPool::Block PixelMemoryPool::Remove(std::size_t i) {
  const Block block = kept_[i].block;
  std::move(kept_.begin() + i + 1, kept_.begin() + count_, kept_.begin() + i);
  --count_;
  bytes_ -= block.capacity;
  return block;
}

void PixelMemoryPool::ReleaseIdle() noexcept {
  std::array<Block, kMaxKept> drop{};
  std::size_t dropped = 0;
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    sweeping_ = false;
    const Clock::time_point now = Clock::now();
    for (std::size_t i = count_; i-- > 0;) {
      if (now - kept_[i].since >= idle_) drop[dropped++] = Remove(i);
    }
  }
  for (std::size_t i = 0; i < dropped; ++i) Free(drop[i]);
}

// One sweep pending at a time, armed again while blocks remain after it.
void PixelMemoryPool::ScheduleSweep() noexcept {
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (sweeping_ || count_ == 0) return;
    sweeping_ = true;
  }
  const QueueRef queue = GlobalQueue();
  const bool scheduled =
      queue != nullptr && queue->After(std::chrono::duration_cast<Nanoseconds>(idle_), [this] {
        ReleaseIdle();
        ScheduleSweep();
      });
  if (!scheduled) {
    const std::lock_guard<std::mutex> guard(mutex_);
    sweeping_ = false;
  }
}

}  // namespace kelvane::platform::internal
