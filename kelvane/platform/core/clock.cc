#include "kelvane/platform/core/clock.h"

#include <time.h>

#include <cmath>
#include <limits>

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

std::atomic<Clock*> g_installed{nullptr};

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

Clock& CurrentClock() noexcept {
  Clock* clock = g_installed.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : Clock::System();
}

Clock* InstallClock(Clock* clock) noexcept {
  return g_installed.exchange(clock, std::memory_order_acq_rel);
}

}  // namespace kelvane::platform
