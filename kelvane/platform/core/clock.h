// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/clock.h
//
// The clocks that the library reads. Two readings come from the one installed clock:
//
//   CurrentClock()  the wall clock of the time operations (seconds since 1970). By default it is
//                   the system's real time; tests (the library's own and an application's)
//                   install a ManualClock so that operations such as "the start of last week"
//                   are checked against fixed instants.
//   SteadyTime()    the monotonic time that delays and timers measure (the dispatch layer's
//                   DispatchClock): the system's steady clock, plus whatever the installed
//                   clock was advanced by. Advancing an installed ManualClock makes delayed work
//                   fall due without waiting for it; removing the clock takes that advance back.
//
// The steady advance belongs to the installation, not to the ManualClock object (whose layout
// the library keeps): it starts at zero when a clock is installed over the system clock, grows
// with each positive ManualClock::Advance of the installed clock, carries over while clocks are
// swapped or nested (so that steady time never runs back while any clock stays installed), and
// is dropped when the system clock is back in place. Work given a deadline while the steady time
// was ahead keeps that deadline: once the advance is dropped it falls due when the real steady
// time reaches it, late by the advance that was taken back; it never runs early, and it can
// still be cancelled meanwhile. The dispatch engines are woken by each advance, on the thread
// that advances, so that what fell due runs at once.
//
// Ownership: an installed clock is borrowed, never owned; it must outlive its installation
// (ScopedClock makes that automatic).
// Threads: Now(), Time(), SteadyTime() and ManualClock's members may be called from any thread.
// Installing a clock and advancing it are serialised with one another, so an advance that races
// the end of the clock's installation either lands within it (and is dropped with it) or
// leaves the steady time alone. The caller must not install a clock while another thread may
// still read the clock it replaces and then destroy that clock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "kelvane/export.h"

namespace kelvane::platform {

// A wall clock: the library reads the time through one, so that tests can fix it.
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
  // A clock standing at `now` seconds since 1970-01-01 00:00:00 UTC.
  explicit ManualClock(double now = 0) noexcept : now_(now) {}

  [[nodiscard]] double Now() const noexcept override {
    return now_.load(std::memory_order_relaxed);
  }

  // Sets the wall reading. The steady time does not move: a clock set to another instant is
  // not time passing (use Advance for that).
  void Set(double now) noexcept { now_.store(now, std::memory_order_relaxed); }

  // Moves the wall reading by `seconds` (back, when negative). While this clock is installed, a
  // positive advance also moves SteadyTime() forward by as much, rounded to the nanosecond, and
  // wakes the dispatch engines so that delayed work and timers now due run: on the worker pool
  // by themselves, on the main queue at its next run. A NaN or non-positive advance, or one of
  // a clock that is not installed, leaves the steady time alone.
  void Advance(double seconds) noexcept;

 private:
  std::atomic<double> now_;
};

// The clock the library reads now: the installed one, else Clock::System().
[[nodiscard]] KELVANE_EXPORT Clock& CurrentClock() noexcept;

// Installs `clock` as the library's clock; null (or Clock::System() itself) restores the system
// clock, and drops the steady advance of the installation that ends. Returns the clock that was
// installed before (null when it was the system clock).
// REQUIRES: `clock` outlives its installation.
KELVANE_EXPORT Clock* InstallClock(Clock* clock) noexcept;

// Nanoseconds on the system's steady clock (CLOCK_MONOTONIC, the epoch of
// std::chrono::steady_clock) plus the steady advance in force: what the installed clock was
// advanced by since the system clock was last in place (and what the deprecated
// AdvanceDispatchClock added while it was, which nothing takes back). The advance is held below
// about 146 years rather than overflowing.
[[nodiscard]] KELVANE_EXPORT std::chrono::nanoseconds SteadyTime() noexcept;

// Installs a clock for the life of a scope and restores the previous one afterwards.
class KELVANE_EXPORT ScopedClock {
 public:
  // Installs `clock` until the object goes. REQUIRES: `clock` outlives the object.
  explicit ScopedClock(Clock& clock) noexcept : previous_(InstallClock(&clock)) {}
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
  ~ScopedClock() { InstallClock(previous_); }

 private:
  Clock* previous_;
};

}  // namespace kelvane::platform
