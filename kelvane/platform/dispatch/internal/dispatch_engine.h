// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/dispatch/internal/dispatch_engine.h
//
// What the dispatch sources share with the queues: the engine side of a queue and the helpers
// that run work as a queue's. Included by the platform's dispatch sources only; it brings in
// Asio, which stays out of the public headers.
#pragma once

// Asio's handler fences are not modelled by ThreadSanitizer, and GCC warns about each one; the
// scheduler's own locks already order what the fences order.
#if defined(__SANITIZE_THREAD__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif

#include <asio/any_io_executor.hpp>
#include <asio/basic_waitable_timer.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <optional>
#include <utility>

#include "kelvane/platform/dispatch/dispatch.h"

namespace kelvane::platform {

struct Queue::Impl {
  using Strand = asio::strand<asio::io_context::executor_type>;

  // Blocks go straight to the context (main, global) or to the strand (serial): the concrete
  // executor types spare each submission the cost of a type-erased one.
  asio::io_context* context;
  std::optional<Strand> strand;
  // Timer waits must be serialised; the global queue is concurrent, so each of its timers gets
  // a strand of its own, while the main and serial queues are serial already.
  bool strand_per_timer = false;

  template <typename F>
  void Post(F&& work) const {
    if (strand) {
      asio::post(*strand, std::forward<F>(work));
    } else {
      asio::post(context->get_executor(), std::forward<F>(work));
    }
  }

  asio::any_io_executor TimerExecutor() const {
    if (strand) return *strand;
    if (strand_per_timer) return asio::make_strand(context->get_executor());
    return context->get_executor();
  }
};

struct QueueAccess {
  static QueueRef Make(Queue::Kind kind, std::string label, asio::io_context& context) {
    auto impl = std::make_unique<Queue::Impl>();
    impl->context = &context;
    if (kind == Queue::Kind::kSerial) impl->strand.emplace(asio::make_strand(context));
    impl->strand_per_timer = kind == Queue::Kind::kGlobal;
    return QueueRef(new Queue(kind, std::move(label), std::move(impl)));
  }
  static const Queue::Impl& Of(const Queue& queue) { return *queue.impl_; }
};

namespace internal {

// Every timer of the dispatch layer reads DispatchClock, so that advancing it makes them due.
using DispatchTimer = asio::basic_waitable_timer<DispatchClock>;

extern thread_local const Queue* tls_current_queue;

// Runs one piece of work as `queue`'s: CurrentQueue() answers it meanwhile.
template <typename F>
inline void RunAs(const Queue& queue, F& work) noexcept {
  const Queue* outer = std::exchange(tls_current_queue, &queue);
  try {
    work();
  } catch (...) {
    // Swallowed on purpose: an escaping exception would end the worker thread or the caller's
    // run of the main queue.
  }
  tls_current_queue = outer;
}

inline DispatchClock::time_point DeadlineAfter(Nanoseconds delay) noexcept {
  const auto now = DispatchClock::now();
  const auto room = DispatchClock::time_point::max() - now;
  return delay >= room ? DispatchClock::time_point::max() : now + delay;
}

// Signals the main queue's wake-up descriptor and calls its hook, when one is set.
void WakeMain() noexcept;

// The deadlines of pending main-queue waits, for MainQueueNextDeadline and the wake-up
// descriptor: each armed wait notes its deadline and forgets it when it completes.
// NoteMainDeadline throws std::bad_alloc only.
void NoteMainDeadline(DispatchClock::time_point deadline);
void ForgetMainDeadline(DispatchClock::time_point deadline) noexcept;

// A read source's descriptor on the main queue: watched by the wake-up descriptor until
// unwatched. False when it could not be noted (out of memory).
bool WatchOnMain(int fd) noexcept;
void UnwatchOnMain(int fd) noexcept;

}  // namespace internal
}  // namespace kelvane::platform
