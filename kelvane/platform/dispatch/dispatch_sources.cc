// SPDX-License-Identifier: Apache-2.0
// The timer, read and run-loop timer sources of the dispatch layer.
// clang-format off
#include "kelvane/platform/dispatch/internal/dispatch_engine.h"  // first: it sets up the Asio build
// clang-format on

#include <fcntl.h>
#include <unistd.h>

#include <asio/posix/stream_descriptor.hpp>

namespace kelvane::platform {

using internal::DeadlineAfter;
using internal::RunAs;
using internal::WakeMain;

struct TimerSource::Engine {
  explicit Engine(asio::any_io_executor exec) : executor(exec), timer(exec) {}
  asio::any_io_executor executor;
  internal::DispatchTimer timer;  // touched only from `executor`
};

struct ReadSource::Engine {
  Engine(asio::any_io_executor exec, int fd) : executor(exec), descriptor(exec, fd), fd(fd) {}
  asio::any_io_executor executor;
  asio::posix::stream_descriptor descriptor;  // owns the duplicate; touched only from `executor`
  const int fd;                               // the duplicate's number, for any thread to read
};

// ---- TimerSource ------------------------------------------------------------------------------

TimerSource::TimerSource(QueueRef queue, std::unique_ptr<Engine> engine) noexcept
    : queue_(std::move(queue)), engine_(std::move(engine)) {}

TimerSource::~TimerSource() = default;

std::shared_ptr<TimerSource> TimerSource::Create(const QueueRef& queue) noexcept {
  if (queue == nullptr) return nullptr;
  try {
    auto engine = std::make_unique<Engine>(QueueAccess::Of(*queue).TimerExecutor());
    return std::make_shared<TimerSource>(queue, std::move(engine));
  } catch (...) {
    return nullptr;
  }
}

void TimerSource::SetTimer(Nanoseconds start, Nanoseconds interval, Nanoseconds leeway) noexcept {
  unsigned long generation;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    next_ = DeadlineAfter(std::max(start, Nanoseconds::zero()));
    interval_ = interval;
    leeway_ = leeway;
    programmed_ = true;
    generation = ++generation_;
  }
  Kick(generation);
}

void TimerSource::SetEventHandler(std::function<void()> handler) noexcept {
  std::shared_ptr<const std::function<void()>> fresh;
  if (handler) {
    try {
      fresh = std::make_shared<const std::function<void()>>(std::move(handler));
    } catch (...) {
      return;
    }
  }
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  handler_.swap(fresh);
}

void TimerSource::Resume() noexcept {
  unsigned long generation;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_ || suspended_ == 0) return;
    if (--suspended_ != 0) return;
    generation = ++generation_;
  }
  Kick(generation);
}

void TimerSource::Suspend() noexcept {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    if (suspended_++ != 0) return;
    ++generation_;
  }
  Withdraw();
}

void TimerSource::Cancel() noexcept {
  std::shared_ptr<const std::function<void()>> handler;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    ++generation_;
    handler.swap(handler_);
  }
  Withdraw();
  // Waits for a handler running on another thread; from the handler itself the lock is already
  // this thread's, so the handler may cancel its own source.
  std::lock_guard running(running_);
}

bool TimerSource::IsCancelled() const noexcept {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

void TimerSource::Kick(unsigned long generation) noexcept {
  try {
    asio::post(engine_->executor,
               [self = shared_from_this(), generation] { self->Arm(generation); });
  } catch (...) {
  }
  if (queue_->kind() == Queue::Kind::kMain) WakeMain();
}

void TimerSource::Withdraw() noexcept {
  try {
    asio::post(engine_->executor, [self = shared_from_this()] { self->engine_->timer.cancel(); });
  } catch (...) {
  }
  if (queue_->kind() == Queue::Kind::kMain) WakeMain();
}

void TimerSource::Arm(unsigned long generation) noexcept {
  DispatchClock::time_point when;
  {
    std::lock_guard lock(mutex_);
    if (generation != generation_ || cancelled_ || suspended_ != 0 || !programmed_) return;
    when = next_;
  }
  // On the main queue the wait's deadline is noted for the application's loop; every wait ends
  // in exactly one completion (fired or voided), which forgets it again.
  const bool main = queue_->kind() == Queue::Kind::kMain;
  bool noted = false;
  try {
    if (main) internal::NoteMainDeadline(when);
    noted = main;
    engine_->timer.expires_at(when);  // voids an earlier wait still pending
    engine_->timer.async_wait(
        [self = shared_from_this(), generation, when, main](const std::error_code& e) {
          if (main) internal::ForgetMainDeadline(when);
          if (!e) self->Fire(generation);
        });
  } catch (...) {
    if (noted) internal::ForgetMainDeadline(when);
  }
}

void TimerSource::Fire(unsigned long generation) noexcept {
  // Held from the check to the handler's end, so that a Cancel on another thread either comes
  // first (nothing starts) or waits for the handler.
  std::unique_lock running(running_);
  std::shared_ptr<const std::function<void()>> handler;
  {
    std::lock_guard lock(mutex_);
    if (generation != generation_ || cancelled_ || suspended_ != 0 || !programmed_) return;
    handler = handler_;
    if (interval_ <= Nanoseconds::zero()) {
      programmed_ = false;
    } else {
      const auto now = DispatchClock::now();
      // Skip the ticks missed while the queue was busy: one late fire, then back on the grid.
      const auto room = DispatchClock::time_point::max() - next_;
      if (interval_ >= room) {
        programmed_ = false;
      } else if (next_ + interval_ > now) {
        next_ += interval_;
      } else {
        const auto missed = (now - next_) / interval_;
        const auto step = interval_ * (missed + 1);
        next_ = step >= room ? DispatchClock::time_point::max() : next_ + step;
      }
    }
  }
  if (handler != nullptr) {
    auto call = [&handler] { (*handler)(); };
    RunAs(*queue_, call);
  }
  handler.reset();  // its captures too are gone before a waiting Cancel returns
  running.unlock();
  Arm(generation);
}

// ---- ReadSource -------------------------------------------------------------------------------

ReadSource::ReadSource(QueueRef queue, std::unique_ptr<Engine> engine,
                       std::function<void()> handler) noexcept
    : queue_(std::move(queue)), engine_(std::move(engine)) {
  try {
    handler_ = std::make_shared<const std::function<void()>>(std::move(handler));
  } catch (...) {
  }
}

ReadSource::~ReadSource() {
  if (queue_->kind() == Queue::Kind::kMain) internal::UnwatchOnMain(engine_->fd);
}

std::shared_ptr<ReadSource> ReadSource::Create(const QueueRef& queue, int fd,
                                               std::function<void()> handler) noexcept {
  if (queue == nullptr || !handler || fd < 0) return nullptr;
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  std::unique_ptr<Engine> engine;
  try {
    engine = std::make_unique<Engine>(QueueAccess::Of(*queue).TimerExecutor(), copy);
  } catch (...) {
    ::close(copy);  // not yet owned by a descriptor object
    return nullptr;
  }
  std::shared_ptr<ReadSource> source;
  try {
    source = std::make_shared<ReadSource>(queue, std::move(engine), std::move(handler));
  } catch (...) {
    return nullptr;  // the engine closes the duplicate
  }
  if (source->handler_ == nullptr) return nullptr;
  // On the main queue the application's loop must learn when the descriptor is readable.
  if (queue->kind() == Queue::Kind::kMain && !internal::WatchOnMain(copy)) return nullptr;
  try {
    auto self = source;
    asio::post(source->engine_->executor, [self] { self->Wait(); });
  } catch (...) {
    return nullptr;
  }
  if (queue->kind() == Queue::Kind::kMain) WakeMain();
  return source;
}

void ReadSource::Wait() noexcept {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
  }
  try {
    engine_->descriptor.async_wait(asio::posix::stream_descriptor::wait_read,
                                   [self = shared_from_this()](const std::error_code& error) {
                                     if (error) return;
                                     std::shared_ptr<const std::function<void()>> handler;
                                     {
                                       std::lock_guard lock(self->mutex_);
                                       if (self->cancelled_) return;
                                       handler = self->handler_;
                                     }
                                     auto call = [&handler] { (*handler)(); };
                                     RunAs(*self->queue_, call);
                                     self->Wait();
                                   });
  } catch (...) {
  }
}

void ReadSource::Cancel() noexcept {
  std::shared_ptr<const std::function<void()>> handler;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    handler.swap(handler_);
  }
  if (queue_->kind() == Queue::Kind::kMain) {
    internal::UnwatchOnMain(engine_->fd);
  }
  try {
    asio::post(engine_->executor, [self = shared_from_this()] {
      std::error_code ignored;
      self->engine_->descriptor.cancel(ignored);
    });
  } catch (...) {
  }
}

// ---- Timer ------------------------------------------------------------------------------------

Timer::Timer(std::any user_info, std::function<void(Timer&)> action, bool repeats) noexcept
    : user_info_(std::move(user_info)), action_(std::move(action)), repeats_(repeats) {}

Timer::~Timer() { Invalidate(); }

std::shared_ptr<Timer> Timer::Schedule(const QueueRef& queue, Nanoseconds interval, bool repeats,
                                       std::function<void(Timer&)> action,
                                       std::any user_info) noexcept {
  if (queue == nullptr || !action || (repeats && interval <= Nanoseconds::zero())) return nullptr;
  try {
    auto timer = std::make_shared<Timer>(std::move(user_info), std::move(action), repeats);
    timer->source_ = TimerSource::Create(queue);
    if (timer->source_ == nullptr) return nullptr;
    // The handler holds the timer: a scheduled timer lives until it is invalidated.
    timer->source_->SetEventHandler([timer] {
      timer->action_(*timer);
      if (!timer->repeats_) timer->Invalidate();
    });
    timer->source_->SetTimer(interval, repeats ? interval : Nanoseconds::zero(), Nanoseconds(0));
    timer->source_->Resume();
    return timer;
  } catch (...) {
    return nullptr;
  }
}

bool Timer::IsValid() const noexcept { return source_ != nullptr && !source_->IsCancelled(); }

void Timer::Invalidate() noexcept {
  if (source_ != nullptr) source_->Cancel();
}

}  // namespace kelvane::platform
