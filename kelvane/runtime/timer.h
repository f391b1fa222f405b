// SPDX-License-Identifier: Apache-2.0
// kelvane/runtime/timer.h
//
// Running application blocks later, repeatedly or once at a time, on dispatch queues.
//
//   GCDTimer  a restartable repeating timer. Its queue is fixed by the first successful start:
//             a restart reprograms times and handler but keeps firing on that queue.
//   GCDBlock  a block scheduled on a queue that can be cancelled until it starts, with a state:
//             0 created, 1 scheduled (waiting or running), 2 finished, 3 cancelled.
//   NSTools::callOnceUntilComplete  runs a block on the main queue after a delay unless a run
//             is already pending for the same flag.
//   NSTools object block operations: invoking a block at once, from a timer's user information,
//             or from the one block associated with an object.
//
// Times are seconds as doubles, converted to nanoseconds by multiplying by 1e9 and truncating;
// values beyond the 64-bit range saturate and NaN counts as 0 (negative intervals and leeways
// count as 0 too).
//
// Ownership: a scheduled GCDBlock is kept alive by its queue until it has run or was cancelled,
// so its owner may drop it meanwhile. A GCDTimer cancels its timer when destroyed.
//
// Threads: GCDTimer's Start and Cancel may be called from any thread (serialised by the timer's
// monitor); its handler runs on the timer's queue. GCDBlock's members may be called from any
// thread. callOnceUntilComplete is for the main thread: its flag is a plain bool. The associated
// block operations may be called from any thread.
#pragma once

#include <any>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/object.h"
#include "kelvane/platform/dispatch/dispatch.h"

namespace kelvane {

// The block type of this module: no arguments, no result.
using VoidBlock = std::function<void()>;

// A restartable repeating timer on a dispatch queue.
class KELVANE_EXPORT GCDTimer : public platform::Object {
 public:
  GCDTimer() noexcept = default;
  ~GCDTimer() override;  // Cancel

  // First fire after `start` seconds, then every `interval` seconds, `accuracy` seconds being
  // the lateness allowed; `handler` runs on `queue` (the first start's queue, see above).
  // Returns whether a timer exists afterwards. Returns false, leaving a running timer untouched,
  // when the interval is 0 (or below, or NaN), the queue is null or the handler is empty.
  [[nodiscard]] bool Start(double start, double interval, double accuracy,
                           const platform::QueueRef& queue, VoidBlock handler) noexcept;

  // Stops and forgets the timer; the next Start makes a new one. Nothing when there is none.
  void Cancel() noexcept;

 private:
  std::shared_ptr<platform::TimerSource> m_timer;  // guarded by the monitor
};

// A block scheduled on a queue, cancellable until it starts, with its state.
class KELVANE_EXPORT GCDBlock : public platform::Object,
                                public std::enable_shared_from_this<GCDBlock> {
 public:
  // The states of a block.
  enum : std::size_t {
    kCreated = 0,    // made, not scheduled
    kScheduled = 1,  // waiting or running
    kFinished = 2,   // has run
    kCancelled = 3,  // cancelled before it started
  };

  // A block in state 0 around `block`; null when the block is empty or memory ran out.
  [[nodiscard]] static std::shared_ptr<GCDBlock> initWithBlock(VoidBlock block) noexcept;
  ~GCDBlock() override;  // cancel

  // Schedules the block on `queue` after `after` seconds (at once when 0 or below) and sets
  // state 1. Nothing when the queue is null. A cancelled block stays cancelled: its dispatch
  // block never runs again, so it is not rescheduled and keeps state 3.
  void runInQueue(const platform::QueueRef& queue, double after) noexcept;

  // Only in state 1: state 3, and the block does not start (one already running finishes and
  // then sets state 2).
  void cancel() noexcept;

  // The state, kCreated .. kCancelled; setStatus() sets it as given, without checking.
  [[nodiscard]] std::size_t status() const noexcept { return status_.load(); }
  void setStatus(std::size_t status) noexcept { status_.store(status); }

  explicit GCDBlock(VoidBlock block) noexcept;  // use initWithBlock

 private:
  VoidBlock block_;
  platform::DispatchBlockRef m_worker;
  std::atomic<std::size_t> status_{kCreated};
};

// The key of the associated block: the address of this string is the key, its text
// "AssociatedBlock".
KELVANE_EXPORT extern const std::u16string_view s_associated_block_name;

namespace NSTools {

// When `flag` is false and `block` is not empty: sets `flag`, and after `delay` seconds runs
// `block` on the main queue and then clears `flag`. Otherwise does nothing.
// REQUIRES: called on the main thread; `flag` outlives the pending run.
KELVANE_EXPORT void callOnceUntilComplete(bool& flag, double delay, VoidBlock block) noexcept;

// Invokes `block` at once on the calling thread (nothing when it is empty).
KELVANE_EXPORT void performBlock(platform::Object& receiver, const VoidBlock& block);

// Invokes the block held in `timer`'s user information (a VoidBlock); nothing when it holds
// anything else. Meant as the action of a platform::Timer.
KELVANE_EXPORT void performBlockOnTimer(platform::Object& receiver, const platform::Timer& timer);

// Replaces the receiver's associated block by a copy of `block` (an empty block just removes).
KELVANE_EXPORT void addAssociatedBlock(platform::Object& receiver, VoidBlock block) noexcept;
// Invokes the receiver's associated block, if it has one; the block may replace or remove
// itself while it runs.
KELVANE_EXPORT void invokeAssociatedBlock(platform::Object& receiver);
// Removes the receiver's associated block.
KELVANE_EXPORT void removeAssociatedBlock(platform::Object& receiver) noexcept;

}  // namespace NSTools

}  // namespace kelvane
