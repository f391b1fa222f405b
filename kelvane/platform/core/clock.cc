// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/clock.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "kelvane/platform/core/internal/steady_time.h"

namespace kelvane::platform {
namespace {

class SystemClock final : public Clock {
 public:
  double Now() const noexcept override {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }
  std::int64_t Time() const noexcept override { return ::time(nullptr); }
};

// The steady advance is held below this many nanoseconds (2^62, about 146 years), so that the
// steady clock plus the advance, and a deadline a while after that, stay far from overflowing.
constexpr std::int64_t kMaxAdvance = std::int64_t{1} << 62;

std::atomic<Clock*> g_installed{nullptr};  // null: the system clock

// The steady advance in two parts, changed under the lock together with the installation, so
// that an advance cannot land in an installation that has just ended. Readers take the total
// alone, without the lock.
std::mutex g_mutex;
std::int64_t g_permanent = 0;     // added while the system clock was in place (the old interface)
std::int64_t g_installation = 0;  // added while a clock was installed: dropped with it
std::atomic<std::int64_t> g_total{0};

std::atomic<internal::SteadyTimeListener> g_listener{nullptr};

// Adds `delta` > 0 to one part, up to the limit; whether the total moved. REQUIRES: g_mutex.
bool AddLocked(std::int64_t& part, std::int64_t delta) noexcept {
  const std::int64_t room = kMaxAdvance - g_permanent - g_installation;
  if (room <= 0) return false;
  part += std::min(delta, room);
  g_total.store(g_permanent + g_installation, std::memory_order_release);
  return true;
}

void NotifyListener(bool forward) noexcept {
  if (internal::SteadyTimeListener listener = g_listener.load(std::memory_order_acquire)) {
    listener(forward);
  }
}

}  // namespace

std::int64_t Clock::Time() const noexcept {
  const double now = std::floor(Now());
  // A clock set beyond what 64 bits of seconds can hold, or to NaN, reads as the nearest end.
  if (!(now > -9.2e18)) return std::numeric_limits<std::int64_t>::min();
  if (now > 9.2e18) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(now);
}

Clock& Clock::System() noexcept {
  static SystemClock clock;
  return clock;
}

void ManualClock::Advance(double seconds) noexcept {
  now_.fetch_add(seconds, std::memory_order_relaxed);
  if (!(seconds > 0)) return;
  // Rounded, not truncated: a millisecond, 0.001 s, is not quite 1e-3 in binary, and a step of
  // one must make work due in exactly one millisecond fall due.
  const std::int64_t delta = seconds >= static_cast<double>(kMaxAdvance) * 1e-9
                                 ? kMaxAdvance
                                 : static_cast<std::int64_t>(std::llround(seconds * 1e9));
  if (delta <= 0) return;
  bool moved = false;
  {
    std::lock_guard lock(g_mutex);
    if (g_installed.load(std::memory_order_relaxed) == this) {
      moved = AddLocked(g_installation, delta);
    }
  }
  if (moved) NotifyListener(true);
}

Clock& CurrentClock() noexcept {
  Clock* clock = g_installed.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : Clock::System();
}

Clock* InstallClock(Clock* clock) noexcept {
  if (clock == &Clock::System()) clock = nullptr;
  Clock* previous;
  bool moved = false;
  {
    std::lock_guard lock(g_mutex);
    previous = g_installed.exchange(clock, std::memory_order_acq_rel);
    if (clock == nullptr && g_installation != 0) {
      g_installation = 0;
      g_total.store(g_permanent, std::memory_order_release);
      moved = true;
    }
  }
  if (moved) NotifyListener(false);
  return previous;
}

std::chrono::nanoseconds SteadyTime() noexcept {
  const auto steady = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(steady) +
         std::chrono::nanoseconds(g_total.load(std::memory_order_acquire));
}

namespace internal {

std::chrono::nanoseconds SteadyAdvance() noexcept {
  return std::chrono::nanoseconds(g_total.load(std::memory_order_acquire));
}

void AdvanceSteadyTime(std::chrono::nanoseconds delta) noexcept {
  if (delta <= std::chrono::nanoseconds::zero()) return;
  bool moved;
  {
    std::lock_guard lock(g_mutex);
    const bool installed = g_installed.load(std::memory_order_relaxed) != nullptr;
    moved = AddLocked(installed ? g_installation : g_permanent, delta.count());
  }
  if (moved) NotifyListener(true);
}

void SetSteadyTimeListener(SteadyTimeListener listener) noexcept {
  g_listener.store(listener, std::memory_order_release);
}

}  // namespace internal
}  // namespace kelvane::platform
