// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/internal/pixel_memory.h
//
// The process's pool of large pixel blocks, for image surfaces (context.h) and the image
// effects' working buffers (images/image_effects.h). Blocks this large come from the system as
// fresh pages that are faulted in and zeroed on first touch, which for a big picture costs more
// than drawing it; a block given back is kept for the next picture it fits, whose pages are
// then already mapped. Not a public header.
//
// Bounds of the shared pool: at most 160 MiB in 8 blocks (one 2048-point picture at scale 3,
// 144 MiB, and some smaller ones). A kept block goes back to the system when a call asks for
// less than half its size (the pictures became smaller), when it has lain unused for 2 seconds
// (swept on the dispatch pool's global queue, which Give() arms), to make room for a newer one
// within the bounds, or at once when it alone passes them.
//
// Contents: a block handed out with Clear::kZero holds zeroes, whether fresh or kept; with
// Clear::kNone it may hold an earlier user's pixels, so the caller must write every byte it
// reads.
//
// Threads: every member may be called from any thread; calls are serialised by the pool's own
// lock, and memory is mapped, cleared and unmapped outside it.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <mutex>

namespace kelvane::platform::internal {

class PixelMemoryPool {
 public:
  struct Block {
    void* data = nullptr;  // 64-byte aligned
    std::size_t capacity = 0;
  };
  enum class Clear { kNone, kZero };

  static constexpr std::size_t kMaxKept = 8;
  // Blocks from this size on are pages mapped for the pool, zeroed by the system when fresh;
  // smaller ones come from the C library's heap. The C library maps blocks this large afresh on
  // every allocation (its threshold for mapping rises with the blocks freed, up to this size),
  // so image surfaces take their pixels from the pool from this size on; smaller ones stay on
  // the heap, which reuses them warm, and whose threshold they keep raising for the engine's own
  // masks and buffers.
  static constexpr std::size_t kMappedBytes = std::size_t{32} << 20;

  // REQUIRES: max_blocks <= kMaxKept.
  PixelMemoryPool(std::size_t kept_bytes, std::size_t max_blocks,
                  std::chrono::steady_clock::duration idle) noexcept
      : kept_bytes_(kept_bytes), max_blocks_(max_blocks), idle_(idle) {}
  PixelMemoryPool(const PixelMemoryPool&) = delete;
  PixelMemoryPool& operator=(const PixelMemoryPool&) = delete;
  ~PixelMemoryPool();

  // The process's pool, with the bounds above. Never destroyed: images may give their memory
  // back while the process exits (it is then freed, not kept).
  [[nodiscard]] static PixelMemoryPool& Shared() noexcept;

  // A block of at least `bytes` (rounded up to whole pages): the smallest kept one that fits
  // and is not twice as large, otherwise a new one. Kept blocks more than twice as large go
  // back to the system. No block (null data) when `bytes` is 0 or memory runs out.
  [[nodiscard]] Block Take(std::size_t bytes, Clear clear) noexcept;

  // Keeps `block` for a later Take, dropping the oldest kept blocks to stay within the bounds,
  // or frees it when it alone passes them. Null data is ignored. The shared pool arms a sweep
  // that frees it once idle. REQUIRES: `block` came from Take() of this pool.
  void Give(Block block) noexcept;

  // Frees the kept blocks that have lain unused for the pool's idle time. The shared pool calls
  // it on its own, on the global queue, while it keeps blocks.
  void ReleaseIdle() noexcept;

  // Blocks and bytes kept now.
  [[nodiscard]] std::size_t KeptCount() noexcept;
  [[nodiscard]] std::size_t KeptBytes() noexcept;

 private:
  using Clock = std::chrono::steady_clock;
  struct Kept {
    Block block;
    Clock::time_point since;
  };

  Block Remove(std::size_t i);
  void ScheduleSweep() noexcept;

  const std::size_t kept_bytes_;
  const std::size_t max_blocks_;
  const Clock::duration idle_;
  std::mutex mutex_;
  std::array<Kept, kMaxKept> kept_{};  // oldest first
  std::size_t count_ = 0;
  std::size_t bytes_ = 0;
  bool sweeping_ = false;
  bool shared_ = false;  // the process's pool: sweeps are scheduled
};

}  // namespace kelvane::platform::internal
