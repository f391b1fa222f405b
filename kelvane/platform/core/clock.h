// kelvane/platform/core/clock.h
//
// The wall clock that the library's time operations read. By default it is the system's real
// time; an application's tests (and the library's own) install a ManualClock so that
// operations such as "the start of last week" are checked against fixed instants.
//
// Ownership: an installed clock is borrowed, never owned; it must outlive its installation
// (ScopedClock makes that automatic).
// Threads: Now() and Time() may be called from any thread. Installing a clock is atomic, but
// the caller must not install one while another thread may still read the clock it replaces
// and then destroy that clock.
#pragma once

#include <atomic>
#include <cstdint>

#include "kelvane/export.h"

namespace kelvane::platform {

class KELVANE_EXPORT Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since 1970-01-01 00:00:00 UTC, with the fraction of the current second.
  [[nodiscard]] virtual double Now() const noexcept = 0;

  // Whole seconds since 1970-01-01 00:00:00 UTC, rounded down as the POSIX `time` does.
  [[nodiscard]] virtual std::int64_t Time() const noexcept;

  // The system's real-time clock.
  [[nodiscard]] static Clock& System() noexcept;
};

// A clock that stands still at the instant it was last set to; for tests and tools.
class KELVANE_EXPORT ManualClock final : public Clock {
 public:
  explicit ManualClock(double now = 0) noexcept : now_(now) {}

  [[nodiscard]] double Now() const noexcept override {
    return now_.load(std::memory_order_relaxed);
  }

  void Set(double now) noexcept { now_.store(now, std::memory_order_relaxed); }
  void Advance(double seconds) noexcept { Set(Now() + seconds); }

 private:
  std::atomic<double> now_;
};

// The clock the library reads now: the installed one, else Clock::System().
[[nodiscard]] KELVANE_EXPORT Clock& CurrentClock() noexcept;

// Installs `clock` as the library's clock; null restores the system clock. Returns the clock
// that was installed before (null when it was the system clock).
// REQUIRES: `clock` outlives its installation.
KELVANE_EXPORT Clock* InstallClock(Clock* clock) noexcept;

// Installs a clock for the life of a scope and restores the previous one afterwards.
class KELVANE_EXPORT ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) noexcept : previous_(InstallClock(&clock)) {}
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
  ~ScopedClock() { InstallClock(previous_); }

 private:
  Clock* previous_;
};

}  // namespace kelvane::platform
