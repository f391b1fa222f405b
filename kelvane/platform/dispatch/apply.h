// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/dispatch/apply.h
//
// Work split into parts that run at once on the worker pool.
//
//   ApplyConcurrently(count, work)  runs work(0) .. work(count - 1) and returns when every part
//                                   has run. The parts go to the pool's global queue and to the
//                                   calling thread, which takes parts itself rather than wait, so
//                                   a call made from a pool thread (or from inside a part) cannot
//                                   wait on itself. Parts run in no guaranteed order.
//   ConcurrencyWidth()              how many threads a call from here would run parts on: 1 when
//                                   the calling thread keeps its work (below) or the pool could
//                                   not start. Callers split their work into about this many
//                                   parts, and into none when it is 1.
//   RowBands(pixels, rows, min_rows) how many bands of rows a pass over a picture runs in: two
//                                   for each thread there is to run them, so that a thread that
//                                   starts late leaves its second band to the others, none
//                                   shorter than `min_rows` (64 at least); 1 below 2^18 pixels,
//                                   where handing bands to the pool costs more than it saves, and
//                                   1 while the thread keeps its work.
//   ApplyToRowBands(bands, rows, f) calls f(band, first, end) for each of `bands` bands of
//                                   `rows` rows (band i: rows rows * i / bands up to
//                                   rows * (i + 1) / bands), on this thread when there is one
//                                   band, through ApplyConcurrently when there are more.
//   KeepOnThisThread                while one lives on a thread, every ApplyConcurrently called
//                                   on that thread runs all its parts there, in order. The image
//                                   operations that split large pictures into bands honour it, so
//                                   a caller that already spreads its own work over the cores, or
//                                   that must not wait on the pool, keeps each call on its thread.
//
// Threads: every function may be called from any thread. `work` must not throw; an exception
// that escapes a part is swallowed there, and the other parts still run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "kelvane/export.h"

namespace kelvane::platform {

// Runs work(0) .. work(count - 1), on the pool and on this thread, and returns when every part
// has run (see the opening block).
KELVANE_EXPORT void ApplyConcurrently(std::size_t count,
                                      const std::function<void(std::size_t)>& work) noexcept;

// How many threads a call of ApplyConcurrently from here would run parts on; 1 when the thread
// keeps its work or the pool could not start.
[[nodiscard]] KELVANE_EXPORT std::size_t ConcurrencyWidth() noexcept;

// How many bands of rows a pass over a picture of `pixels` pixels in `rows` rows runs in (see
// the opening block); 1 for small pictures and while the thread keeps its work.
[[nodiscard]] inline std::size_t RowBands(std::uint64_t pixels, std::uint32_t rows,
                                          std::uint32_t min_rows = 64) noexcept {
  if (pixels < (std::uint64_t{1} << 18)) return 1;
  const std::size_t width = ConcurrencyWidth();
  if (width <= 1) return 1;
  return std::clamp<std::size_t>(rows / std::max<std::uint32_t>(min_rows, 64), 1, 2 * width);
}

// Calls band(i, first, end) for each of `bands` bands of `rows` rows: on this thread for one
// band, through ApplyConcurrently for more.
template <typename Band>
void ApplyToRowBands(std::size_t bands, std::uint32_t rows, const Band& band) {
  if (bands <= 1) return band(std::size_t{0}, std::uint32_t{0}, rows);
  ApplyConcurrently(bands, [&](std::size_t i) {
    band(i, static_cast<std::uint32_t>(std::uint64_t{rows} * i / bands),
         static_cast<std::uint32_t>(std::uint64_t{rows} * (i + 1) / bands));
  });
}

// While one lives on a thread, ApplyConcurrently called on that thread runs every part there,
// in order.
class KELVANE_EXPORT KeepOnThisThread {
 public:
  // Keeps this thread's parts on it until the object goes (objects nest).
  KeepOnThisThread() noexcept;
  ~KeepOnThisThread();
  KeepOnThisThread(const KeepOnThisThread&) = delete;
  KeepOnThisThread& operator=(const KeepOnThisThread&) = delete;
};

}  // namespace kelvane::platform
