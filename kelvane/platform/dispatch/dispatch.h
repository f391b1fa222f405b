// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/dispatch/dispatch.h
//
// Dispatch queues, cancellable blocks and timers.
//
//   MainQueue()          work for the application's main thread. Nothing runs it behind the
//                        application's back: the application drives it with RunMainQueue(),
//                        RunMainQueueFor() or PollMainQueue(), or from its own event loop through
//                        MainQueueWakeupDescriptor() (or SetMainQueueWakeup()) and
//                        MainQueueNextDeadline().
//   CreateSerialQueue()  a queue that runs its blocks one at a time, in submission order, on the
//                        platform's small worker pool.
//   GlobalQueue()        the pool itself: blocks run concurrently, in no guaranteed order.
//   DispatchBlock        a block that can be cancelled until it starts.
//   TimerSource          a repeating timer bound to a queue: start, interval and leeway; it can be
//                        suspended, reprogrammed, resumed and cancelled.
//   Timer                a timer that carries user information and hands itself to its action.
//
// The worker pool (two to four threads) starts on the first use of a queue other than the main
// queue; the main queue alone starts no thread. At process exit the pool is stopped and joined:
// blocks that have not started by then are dropped.
//
// Time: every delay, deadline and timer here reads DispatchClock, which is SteadyTime() of
// platform/core/clock.h: the system's steady clock, unless a test has installed a ManualClock
// and advanced it. Such an advance wakes the pool and the main queue (the clock calls back into
// this layer once one of them exists), so delayed work and timers now due run without waiting
// for them: on the pool by themselves, on the main queue at its next run. When the test's clock
// is removed (the end of its ScopedClock) the advance is taken back and later work reads real
// time again. Waits armed meanwhile keep their deadlines: they fall due once real time reaches
// them, late by the advance that was taken back, never early; cancelling them still releases
// them at once, and a repeating timer goes on from its late fire on its own grid. Run lengths
// (RunMainQueueFor) are real time and do not move with the clock.
//
// Ownership: queues, blocks and timers are shared objects. A queue is kept alive by the blocks
// submitted to it; a submitted block is kept alive until it has run or was dropped; a resumed
// timer source is kept alive by its pending wait until it is cancelled.
//
// Threads: every function here may be called from any thread, except that the main queue is
// driven by one thread at a time (the application's main thread). An exception that escapes a
// submitted block or a handler is swallowed there, so that one faulty block cannot stop a queue.
#pragma once

#include <any>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/object.h"

namespace kelvane::platform {

// Every delay, interval and leeway of this layer.
using Nanoseconds = std::chrono::nanoseconds;

// The monotonic clock of the dispatch layer: SteadyTime(), the system's steady clock plus the
// advance of the installed test clock (none outside tests). It runs back only when a test clock
// that was advanced is removed.
struct KELVANE_EXPORT DispatchClock {
  // Nanoseconds, as a std::chrono clock names its duration.
  using duration = Nanoseconds;
  // The count of a duration: a signed 64-bit number.
  using rep = duration::rep;
  // The tick: one nanosecond.
  using period = duration::period;
  // An instant of this clock.
  using time_point = std::chrono::time_point<DispatchClock, duration>;
  // Steady, as std::chrono clocks count it (see the opening block for a test clock's removal).
  static constexpr bool is_steady = true;
  // The current time of the dispatch layer.
  [[nodiscard]] static time_point now() noexcept;
};

// Deprecated: install a ManualClock (ScopedClock) and Advance it instead, which moves the wall
// clock with the steady one and is taken back with the clock.
// Moves DispatchClock forward by `delta` (nothing when delta <= 0) and wakes the engines as an
// advance of the installed clock does, without moving the wall clock. While a clock is
// installed the move is taken back with it; with the system clock in place it holds for the
// rest of the process, as it always did.
KELVANE_EXPORT void AdvanceDispatchClock(Nanoseconds delta) noexcept;

class DispatchBlock;
// Dispatch blocks are shared: the same ref is the same block.
using DispatchBlockRef = std::shared_ptr<DispatchBlock>;

// A queue that runs submitted work: the main queue, a serial queue or the global queue.
class KELVANE_EXPORT Queue : public std::enable_shared_from_this<Queue> {
 public:
  // Which kind of queue this is.
  enum class Kind {
    kMain,    // MainQueue(): run by the application's main thread
    kSerial,  // CreateSerialQueue(): one block at a time, on the worker pool
    kGlobal,  // GlobalQueue(): the worker pool, blocks concurrently
  };

  ~Queue();
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  // The kind of queue.
  [[nodiscard]] Kind kind() const noexcept { return kind_; }
  // The label given to CreateSerialQueue; "main" and "global" for the two others.
  [[nodiscard]] const std::string& label() const noexcept { return label_; }

  // Submits `work` to run once on this queue. Returns false, and drops the work, when it could
  // not be queued (out of memory, the pool could not start) or `work` is empty.
  bool Async(std::function<void()> work) noexcept;
  // As Async, but the work runs no earlier than `delay` from now; a delay <= 0 is Async.
  bool After(Nanoseconds delay, std::function<void()> work) noexcept;

  // Submits a cancellable block. `keep_alive` is held together with the submission and released
  // after the block ran, or as soon as possible after it was cancelled (a delayed submission is
  // withdrawn then, without waiting for its time).
  // The block is taken by value: a caller that moves it in (or an aliasing pointer to it that
  // owns its holder) spares the submission a reference count.
  bool Async(DispatchBlockRef block, std::shared_ptr<const void> keep_alive = {}) noexcept;
  // Async(block, keep_alive), but the block runs no earlier than `delay` from now.
  bool After(Nanoseconds delay, const DispatchBlockRef& block,
             std::shared_ptr<const void> keep_alive = {}) noexcept;

  // True when called from a block or handler that this queue is running.
  [[nodiscard]] bool IsCurrent() const noexcept;

  struct Impl;  // the engine's side; not part of the interface

 private:
  friend struct QueueAccess;
  template <typename F>
  bool Post(F&& work) noexcept;
  Queue(Kind kind, std::string label, std::unique_ptr<Impl> impl) noexcept;

  const Kind kind_;
  const std::string label_;
  const std::unique_ptr<Impl> impl_;
};

// Queues are shared: the same ref is the same queue.
using QueueRef = std::shared_ptr<Queue>;

// The application's main queue (starts no thread); null only when memory ran out while making
// it (a later call tries again).
KELVANE_EXPORT QueueRef MainQueue() noexcept;
// The concurrent queue of the worker pool; null when the pool could not start.
KELVANE_EXPORT QueueRef GlobalQueue() noexcept;
// A new serial queue on the worker pool; null when memory ran out or the pool could not start.
KELVANE_EXPORT QueueRef CreateSerialQueue(std::string label) noexcept;
// The queue whose block or handler the calling thread is running, or null.
KELVANE_EXPORT const Queue* CurrentQueue() noexcept;

// Runs the main queue on the calling thread until StopMainQueue() is called (a stop requested
// before the call ends the next run at once).
KELVANE_EXPORT void RunMainQueue() noexcept;
KELVANE_EXPORT void StopMainQueue() noexcept;
// Runs the main queue for `duration` of real time (a duration past the clock's range runs until
// stopped), sleeping while nothing is due. Returns the number of handlers run (blocks, timer fires
// and the queue's own bookkeeping), 0 when none was ready or there is no main queue.
KELVANE_EXPORT std::size_t RunMainQueueFor(Nanoseconds duration) noexcept;
// Runs what is ready on the main queue now, without waiting. Returns the handlers run, as above.
KELVANE_EXPORT std::size_t PollMainQueue() noexcept;

// For an application with its own event loop (poll, epoll or an event library): a descriptor
// that is readable whenever the main queue has work. That is a submission, a delayed submission
// or timer source falling due, or a read source on the main queue whose descriptor is readable.
// Wait until it is readable (never read or close it), then call PollMainQueue() on the main
// thread; a run of the main queue clears it. -1 when it could not be made (out of descriptors);
// a later call tries again.
[[nodiscard]] KELVANE_EXPORT int MainQueueWakeupDescriptor() noexcept;
// For a loop that waits some other way: `wakeup` is called, on the submitting thread, after each
// submission to the main queue (immediate or delayed, a timer source armed, a read source made);
// the loop then calls PollMainQueue() on its main thread, and again by MainQueueNextDeadline().
// It does not learn of a read source's descriptor becoming readable: such a loop polls the
// descriptor above. An empty function removes the hook. `wakeup` must be quick and must not
// submit work itself.
KELVANE_EXPORT void SetMainQueueWakeup(std::function<void()> wakeup) noexcept;
// The earliest time main-queue work falls due (a delayed submission or a timer source armed on
// the main queue, as last programmed), or nullopt when none is pending. A timer source
// programmed or resumed from another thread is armed by the next run of the main queue, which
// the wake-up announces.
[[nodiscard]] KELVANE_EXPORT std::optional<DispatchClock::time_point>
MainQueueNextDeadline() noexcept;

// A block that can be submitted any number of times and cancelled. Once cancelled it never
// starts again (its pending delayed submissions are withdrawn); a run that has already started
// goes to its end. The body is released with the block.
class KELVANE_EXPORT DispatchBlock {
 public:
  // Null when `body` is empty or memory ran out.
  [[nodiscard]] static DispatchBlockRef Create(std::function<void()> body) noexcept;

  // Runs the body unless the block is cancelled. Returns whether it ran.
  bool Perform() noexcept;
  // Cancels the block and withdraws its pending delayed submissions. Idempotent.
  void Cancel() noexcept;
  // True once Cancel() was called.
  [[nodiscard]] bool IsCancelled() const noexcept;

  // Called by the queues: `withdraw` runs once on Cancel (at once if already cancelled).
  void OnCancel(std::weak_ptr<void> token, std::function<void()> withdraw) noexcept;

  // Use Create(); public only for std::make_shared.
  explicit DispatchBlock(std::function<void()> body);

 private:
  const std::function<void()> body_;
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;  // guards withdraws_
  // Pending delayed submissions; the token expires once the submission is done with.
  std::vector<std::pair<std::weak_ptr<void>, std::function<void()>>> withdraws_;
};

// A repeating timer on a queue. Created suspended, like a new dispatch source: program it with
// SetTimer and SetEventHandler, then Resume. Suspend and Resume nest (a count). The handler runs
// on the source's queue, never two at a time; a fire that finds the handler late skips the
// missed ticks rather than running them back to back. Leeway is the lateness the caller
// allows; the source never fires early. Once Cancel has returned no handler starts, and none is
// still running unless Cancel was called from the handler itself.
class KELVANE_EXPORT TimerSource : public std::enable_shared_from_this<TimerSource> {
 public:
  // Null when `queue` is null or memory ran out.
  [[nodiscard]] static std::shared_ptr<TimerSource> Create(const QueueRef& queue) noexcept;
  ~TimerSource();

  // First fire at now + start, then every `interval`. An interval <= 0 fires once.
  void SetTimer(Nanoseconds start, Nanoseconds interval, Nanoseconds leeway) noexcept;
  // Replaces the handler (an empty one fires nothing).
  void SetEventHandler(std::function<void()> handler) noexcept;
  // Resume() lowers the suspension count and Suspend() raises it; the timer runs while the
  // count is 0 (a new source starts at 1).
  void Resume() noexcept;
  void Suspend() noexcept;
  // Stops the timer for good and releases the handler; waits for a handler running on another
  // thread. Idempotent.
  void Cancel() noexcept;
  // True once Cancel() was called.
  [[nodiscard]] bool IsCancelled() const noexcept;
  // The queue the handler runs on.
  [[nodiscard]] const QueueRef& queue() const noexcept { return queue_; }

  struct Engine;  // the engine's side; not part of the interface
  // Use Create(); public only for std::make_shared.
  TimerSource(QueueRef queue, std::unique_ptr<Engine> engine) noexcept;

 private:
  void Kick(unsigned long generation) noexcept;
  void Arm(unsigned long generation) noexcept;
  void Fire(unsigned long generation) noexcept;
  void Withdraw() noexcept;

  const QueueRef queue_;
  const std::unique_ptr<Engine> engine_;
  std::recursive_mutex running_;  // held while the handler runs; Cancel takes it to wait
  mutable std::mutex mutex_;      // taken inside running_, never the other way round
  std::shared_ptr<const std::function<void()>> handler_;
  DispatchClock::time_point next_{};
  Nanoseconds interval_{0};
  Nanoseconds leeway_{0};
  bool programmed_ = false;
  unsigned suspended_ = 1;
  bool cancelled_ = false;
  unsigned long generation_ = 0;  // bumped by every change that voids a pending wait
};

// Watches a file descriptor and runs a handler on a queue each time it becomes readable; the
// handler reads what is there (it runs again while data remains). Starts watching at once. The
// descriptor stays the caller's: the source works on a duplicate of it.
class KELVANE_EXPORT ReadSource : public std::enable_shared_from_this<ReadSource> {
 public:
  // Null when the queue is null, the handler empty, `fd` cannot be duplicated or watched, or
  // memory ran out.
  [[nodiscard]] static std::shared_ptr<ReadSource> Create(const QueueRef& queue, int fd,
                                                          std::function<void()> handler) noexcept;
  ~ReadSource();
  // Stops watching and releases the handler. A handler already running finishes. Idempotent.
  void Cancel() noexcept;

  struct Engine;  // the engine's side; not part of the interface
  // Use the factory above; public only for std::make_shared.
  ReadSource(QueueRef queue, std::unique_ptr<Engine> engine,
             std::function<void()> handler) noexcept;

 private:
  void Wait() noexcept;

  const QueueRef queue_;
  const std::unique_ptr<Engine> engine_;
  std::mutex mutex_;
  bool cancelled_ = false;
  std::shared_ptr<const std::function<void()>> handler_;
};

// A timer that carries user information and hands itself to its action, fired on a queue.
// Scheduled timers live until invalidated; a one-shot timer invalidates itself after firing.
class KELVANE_EXPORT Timer : public Object, public std::enable_shared_from_this<Timer> {
 public:
  // Fires `action` on `queue` after `interval`, and then every interval when `repeats`. Null
  // when the queue or action is missing, the interval of a repeating timer is <= 0, or memory
  // ran out.
  [[nodiscard]] static std::shared_ptr<Timer> Schedule(const QueueRef& queue, Nanoseconds interval,
                                                       bool repeats,
                                                       std::function<void(Timer&)> action,
                                                       std::any user_info) noexcept;
  ~Timer() override;

  // The user information given to Schedule.
  [[nodiscard]] const std::any& UserInfo() const noexcept { return user_info_; }
  // True while the timer is scheduled: until it is invalidated (or, for a one-shot timer, has
  // fired).
  [[nodiscard]] bool IsValid() const noexcept;
  // Stops the timer for good and releases the action. Idempotent.
  void Invalidate() noexcept;

  // Use Schedule(); public only for std::make_shared.
  Timer(std::any user_info, std::function<void(Timer&)> action, bool repeats) noexcept;

 private:
  const std::any user_info_;
  const std::function<void(Timer&)> action_;
  const bool repeats_;
  std::shared_ptr<TimerSource> source_;  // set once by Schedule, before the first fire
};

}  // namespace kelvane::platform
