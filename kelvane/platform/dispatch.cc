// Asio's handler fences are not modelled by ThreadSanitizer, and GCC warns about each one; the
// scheduler's own locks already order what the fences order.
#if defined(__SANITIZE_THREAD__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif

#include "kelvane/platform/dispatch.h"

#include <algorithm>
#include <asio/any_io_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <limits>
#include <optional>
#include <set>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

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

struct TimerSource::Engine {
  explicit Engine(asio::any_io_executor exec) : executor(exec), timer(exec) {}
  asio::any_io_executor executor;
  asio::steady_timer timer;  // touched only from `executor`
};

struct ReadSource::Engine {
  Engine(asio::any_io_executor exec, int fd) : executor(exec), descriptor(exec, fd) {}
  asio::any_io_executor executor;
  asio::posix::stream_descriptor descriptor;  // owns the duplicate; touched only from `executor`
};

namespace {

thread_local const Queue* tls_current_queue = nullptr;

// Runs one piece of work as `queue`'s: CurrentQueue() answers it meanwhile.
template <typename F>
void RunAs(const Queue& queue, F& work) noexcept {
  const Queue* outer = std::exchange(tls_current_queue, &queue);
  try {
    work();
  } catch (...) {
    // Swallowed on purpose: an escaping exception would end the worker thread or the caller's
    // run of the main queue.
  }
  tls_current_queue = outer;
}

DispatchClock::time_point DeadlineAfter(Nanoseconds delay) noexcept {
  const auto now = DispatchClock::now();
  const auto room = DispatchClock::time_point::max() - now;
  return delay >= room ? DispatchClock::time_point::max() : now + delay;
}

// The main queue's engine. Never destroyed: queues and timers may outlive every static.
struct MainContext {
  asio::io_context context{1};
  asio::executor_work_guard<asio::io_context::executor_type> guard{context.get_executor()};
  std::atomic<bool> stop_requested{false};
  std::mutex mutex;
  std::function<void()> wakeup;
  std::atomic<bool> has_wakeup{false};  // lets submissions skip the lock when no hook is set
  std::multiset<DispatchClock::time_point> deadlines;
  QueueRef queue;
};

MainContext& Main() {
  static MainContext* main = [] {
    auto* m = new MainContext;
    m->queue = QueueAccess::Make(Queue::Kind::kMain, "main", m->context);
    return m;
  }();
  return *main;
}

void WakeMain() noexcept {
  MainContext& m = Main();
  if (!m.has_wakeup.load(std::memory_order_acquire)) return;
  std::function<void()> wakeup;
  {
    std::lock_guard lock(m.mutex);
    if (!m.wakeup) return;
    try {
      wakeup = m.wakeup;
    } catch (...) {
      return;
    }
  }
  try {
    wakeup();
  } catch (...) {
  }
}

// The worker pool: an io_context run by a few threads, stopped and joined at exit. The context
// itself is never destroyed, as strands of live queues refer to it.
struct Pool {
  asio::io_context context;
  asio::executor_work_guard<asio::io_context::executor_type> guard{context.get_executor()};
  std::vector<std::thread> threads;
  QueueRef global;
};

Pool* StartPool() noexcept {
  Pool* pool = nullptr;
  try {
    pool = new Pool;
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned count = std::clamp(cores, 2u, 4u);
    for (unsigned i = 0; i < count; ++i) {
      pool->threads.emplace_back([pool] { pool->context.run(); });
    }
    pool->global = QueueAccess::Make(Queue::Kind::kGlobal, "global", pool->context);
  } catch (...) {
    if (pool == nullptr || pool->threads.empty()) return nullptr;  // the Pool is left behind
    // Some threads started: they serve, fewer than planned. A missing global queue is retried
    // by GlobalQueue().
  }
  return pool;
}

Pool* ThePool() noexcept {
  static Pool* pool = StartPool();
  // Stops the pool at exit: work not started by then is dropped, work in progress finishes.
  static struct Stopper {
    ~Stopper() {
      if (pool == nullptr) return;
      pool->guard.reset();
      pool->context.stop();
      for (std::thread& t : pool->threads) {
        if (t.get_id() == std::this_thread::get_id()) {
          t.detach();  // exit() called from a block on the pool
        } else if (t.joinable()) {
          t.join();
        }
      }
    }
  } stopper;
  return pool;
}

}  // namespace

// ---- Queue ------------------------------------------------------------------------------------

Queue::Queue(Kind kind, std::string label, std::unique_ptr<Impl> impl) noexcept
    : kind_(kind), label_(std::move(label)), impl_(std::move(impl)) {}

Queue::~Queue() = default;

template <typename F>
bool Queue::Post(F&& work) noexcept {
  try {
    // The main queue lives for the whole process; any other is held by its pending work.
    QueueRef hold = kind_ == Kind::kMain ? nullptr : shared_from_this();
    impl_->Post([self = this, hold = std::move(hold), work = std::forward<F>(work)]() mutable {
                 RunAs(*self, work);
               });
  } catch (...) {
    return false;
  }
  if (kind_ == Kind::kMain) WakeMain();
  return true;
}

bool Queue::Async(std::function<void()> work) noexcept {
  if (!work) return false;
  return Post(std::move(work));
}

bool Queue::After(Nanoseconds delay, std::function<void()> work) noexcept {
  if (delay <= Nanoseconds::zero()) return Async(std::move(work));
  if (!work) return false;
  const bool main = kind_ == Kind::kMain;
  const auto deadline = DeadlineAfter(delay);
  try {
    auto timer = std::make_shared<asio::steady_timer>(impl_->TimerExecutor(), deadline);
    if (main) {
      std::lock_guard lock(Main().mutex);
      Main().deadlines.insert(deadline);
    }
    timer->async_wait([self = shared_from_this(), timer, deadline, main,
                       work = std::move(work)](const std::error_code& error) mutable {
      if (main) {
        std::lock_guard lock(Main().mutex);
        auto it = Main().deadlines.find(deadline);
        if (it != Main().deadlines.end()) Main().deadlines.erase(it);
      }
      if (!error) RunAs(*self, work);
    });
  } catch (...) {
    return false;
  }
  if (main) WakeMain();
  return true;
}

bool Queue::Async(const DispatchBlockRef& block, std::shared_ptr<const void> keep_alive) noexcept {
  if (block == nullptr) return false;
  return Post([block, keep_alive = std::move(keep_alive)] { block->Perform(); });
}

bool Queue::After(Nanoseconds delay, const DispatchBlockRef& block,
                  std::shared_ptr<const void> keep_alive) noexcept {
  if (delay <= Nanoseconds::zero()) return Async(block, std::move(keep_alive));
  if (block == nullptr) return false;
  struct Pending {
    asio::any_io_executor executor;
    asio::steady_timer timer;
  };
  const bool main = kind_ == Kind::kMain;
  const auto deadline = DeadlineAfter(delay);
  try {
    auto executor = impl_->TimerExecutor();
    auto pending = std::make_shared<Pending>(Pending{executor, asio::steady_timer(executor)});
    pending->timer.expires_at(deadline);
    if (main) {
      std::lock_guard lock(Main().mutex);
      Main().deadlines.insert(deadline);
    }
    // The wait holds the block and its keep-alive; a cancel withdraws the wait so that both are
    // released now rather than when the time comes.
    block->OnCancel(pending, [weak = std::weak_ptr<Pending>(pending)] {
      if (auto p = weak.lock()) {
        asio::post(p->executor, [p] { p->timer.cancel(); });
      }
    });
    pending->timer.async_wait([self = shared_from_this(), pending, block, deadline, main,
                               keep_alive = std::move(keep_alive)](const std::error_code& error) {
      if (main) {
        std::lock_guard lock(Main().mutex);
        auto it = Main().deadlines.find(deadline);
        if (it != Main().deadlines.end()) Main().deadlines.erase(it);
      }
      if (error) return;
      auto perform = [&block] { block->Perform(); };
      RunAs(*self, perform);
    });
  } catch (...) {
    return false;
  }
  if (main) WakeMain();
  return true;
}

bool Queue::IsCurrent() const noexcept { return tls_current_queue == this; }

QueueRef MainQueue() noexcept { return Main().queue; }

QueueRef GlobalQueue() noexcept {
  Pool* pool = ThePool();
  return pool == nullptr ? nullptr : pool->global;
}

QueueRef CreateSerialQueue(std::string label) noexcept {
  Pool* pool = ThePool();
  if (pool == nullptr) return nullptr;
  try {
    return QueueAccess::Make(Queue::Kind::kSerial, std::move(label), pool->context);
  } catch (...) {
    return nullptr;
  }
}

const Queue* CurrentQueue() noexcept { return tls_current_queue; }

// ---- the main queue ---------------------------------------------------------------------------

void RunMainQueue() noexcept {
  MainContext& m = Main();
  try {
    while (!m.stop_requested.exchange(false)) {
      if (m.context.stopped()) m.context.restart();
      m.context.run();
    }
  } catch (...) {
  }
}

void StopMainQueue() noexcept {
  Main().stop_requested = true;
  Main().context.stop();
}

std::size_t RunMainQueueFor(Nanoseconds duration) noexcept {
  MainContext& m = Main();
  try {
    if (m.context.stopped()) m.context.restart();
    return m.context.run_for(duration);
  } catch (...) {
    return 0;
  }
}

std::size_t PollMainQueue() noexcept {
  MainContext& m = Main();
  try {
    if (m.context.stopped()) m.context.restart();
    return m.context.poll();
  } catch (...) {
    return 0;
  }
}

void SetMainQueueWakeup(std::function<void()> wakeup) noexcept {
  MainContext& m = Main();
  std::lock_guard lock(m.mutex);
  m.wakeup.swap(wakeup);
  m.has_wakeup.store(static_cast<bool>(m.wakeup), std::memory_order_release);
  // The old hook is released here, still under the lock: hooks hold no state that locks back.
}

std::optional<DispatchClock::time_point> MainQueueNextDeadline() noexcept {
  MainContext& m = Main();
  std::lock_guard lock(m.mutex);
  if (m.deadlines.empty()) return std::nullopt;
  return *m.deadlines.begin();
}

// ---- DispatchBlock ----------------------------------------------------------------------------

DispatchBlock::DispatchBlock(std::function<void()> body) : body_(std::move(body)) {}

DispatchBlockRef DispatchBlock::Create(std::function<void()> body) noexcept {
  if (!body) return nullptr;
  try {
    return std::make_shared<DispatchBlock>(std::move(body));
  } catch (...) {
    return nullptr;
  }
}

bool DispatchBlock::Perform() noexcept {
  if (cancelled_.load(std::memory_order_acquire)) return false;
  try {
    body_();
  } catch (...) {
  }
  return true;
}

void DispatchBlock::Cancel() noexcept {
  std::vector<std::pair<std::weak_ptr<void>, std::function<void()>>> withdraws;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
    withdraws.swap(withdraws_);
  }
  for (auto& [token, withdraw] : withdraws) {
    if (!token.expired()) {
      try {
        withdraw();
      } catch (...) {
      }
    }
  }
}

bool DispatchBlock::IsCancelled() const noexcept {
  return cancelled_.load(std::memory_order_acquire);
}

void DispatchBlock::OnCancel(std::weak_ptr<void> token, std::function<void()> withdraw) noexcept {
  {
    std::lock_guard lock(mutex_);
    if (!cancelled_.load(std::memory_order_relaxed)) {
      std::erase_if(withdraws_, [](const auto& entry) { return entry.first.expired(); });
      try {
        withdraws_.emplace_back(std::move(token), std::move(withdraw));
      } catch (...) {
        // Without the entry the submission is released when its time comes instead.
      }
      return;
    }
  }
  try {
    withdraw();
  } catch (...) {
  }
}

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
}

void TimerSource::Arm(unsigned long generation) noexcept {
  DispatchClock::time_point when;
  {
    std::lock_guard lock(mutex_);
    if (generation != generation_ || cancelled_ || suspended_ != 0 || !programmed_) return;
    when = next_;
  }
  try {
    engine_->timer.expires_at(when);  // voids an earlier wait still pending
    engine_->timer.async_wait([self = shared_from_this(), generation](const std::error_code& e) {
      if (!e) self->Fire(generation);
    });
  } catch (...) {
  }
}

void TimerSource::Fire(unsigned long generation) noexcept {
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

ReadSource::~ReadSource() = default;

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
  try {
    auto self = source;
    asio::post(source->engine_->executor, [self] { self->Wait(); });
  } catch (...) {
    return nullptr;
  }
  return source;
}

void ReadSource::Wait() noexcept {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
  }
  try {
    engine_->descriptor.async_wait(
        asio::posix::stream_descriptor::wait_read, [self = shared_from_this()](
                                                       const std::error_code& error) {
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
