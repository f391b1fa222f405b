// SPDX-License-Identifier: Apache-2.0
// Queues, the main queue, the worker pool and cancellable blocks of the dispatch layer.
// clang-format off
#include "kelvane/platform/dispatch/internal/dispatch_engine.h"  // first: it sets up the Asio build
// clang-format on
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <atomic>
#include <cstdint>
#include <limits>
#include <new>
#include <set>
#include <thread>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/core/internal/steady_time.h"

namespace kelvane::platform {
namespace internal {

thread_local const Queue* tls_current_queue = nullptr;

}  // namespace internal

using internal::DeadlineAfter;
using internal::RunAs;
using internal::tls_current_queue;
using internal::WakeMain;

namespace {

void WakeForSteadyTime(bool forward) noexcept;

// The waits that make an engine's reactor measure its timers again after the clock moved, one
// pending at a time (see Poke).
struct TimerPoke {
  std::atomic<std::uint64_t> requests{0};
  std::atomic<bool> pending{false};
};

// The main queue's engine. Never destroyed: queues and timers may outlive every static.
struct MainContext {
  ~MainContext() = delete;

  asio::io_context context{1};
  asio::executor_work_guard<asio::io_context::executor_type> guard{context.get_executor()};
  std::atomic<bool> stop_requested{false};
  // Set after each stop: only then may a run find the engine stopped, and the check of that
  // takes the engine's lock, which a poll on every turn of a loop would pay.
  std::atomic<bool> maybe_stopped{false};
  std::mutex mutex;  // guards the fields below, up to the atomics
  std::function<void()> wakeup;
  std::multiset<DispatchClock::time_point> deadlines;
  std::set<int> watched;  // read sources' descriptors on the main queue
  // The wake-up descriptor: an epoll set of an eventfd (submissions), a timerfd (the earliest
  // deadline) and the watched descriptors. Made on first request.
  int epoll_fd = -1;
  int event_fd = -1;
  int timer_fd = -1;
  DispatchClock::time_point armed = DispatchClock::time_point::max();  // the timerfd's setting
  std::atomic<bool> has_wakeup{false};      // lets submissions skip the lock when no hook is set
  std::atomic<bool> has_descriptor{false};  // the same for the descriptor
  std::atomic<bool> signalled{false};       // the eventfd holds a count not yet cleared
  QueueRef queue;
  TimerPoke poke;
};

std::atomic<MainContext*> the_main{nullptr};

// The slow path of TheMain: makes the engine under a lock. A failure (out of memory) is retried
// by the next call.
[[gnu::noinline]] MainContext* MakeMain() noexcept {
  static internal::NoDestructor<std::mutex> making;
  std::lock_guard lock(*making);
  MainContext* m = the_main.load(std::memory_order_relaxed);
  if (m != nullptr) return m;
  try {
    m = new MainContext;
  } catch (...) {
    return nullptr;
  }
  try {
    m->queue = QueueAccess::Make(Queue::Kind::kMain, "main", m->context);
  } catch (...) {
    return nullptr;  // the context is left behind, as it would be at exit
  }
  the_main.store(m, std::memory_order_release);
  internal::SetSteadyTimeListener(&WakeForSteadyTime);
  return m;
}

// Made on first use; every submission and run asks, so the made engine costs one load.
inline MainContext* TheMain() noexcept {
  MainContext* m = the_main.load(std::memory_order_acquire);
  return m != nullptr ? m : MakeMain();
}

// Only reached through a main queue, which exists only once the engine does.
MainContext& Main() noexcept { return *TheMain(); }

// Sets the timerfd to the earliest deadline. REQUIRES: m.mutex held, the descriptor made.
void ArmWakeTimer(MainContext& m) noexcept {
  const auto earliest =
      m.deadlines.empty() ? DispatchClock::time_point::max() : *m.deadlines.begin();
  if (earliest == m.armed) return;
  itimerspec when{};
  if (earliest != DispatchClock::time_point::max()) {
    // The timerfd runs on the system's monotonic clock, which the dispatch clock leads by the
    // steady advance; a deadline already past is set to the earliest instant, firing at once.
    const auto since = earliest.time_since_epoch() - internal::SteadyAdvance();
    const auto ns = std::max<Nanoseconds::rep>(since.count(), 1);
    when.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
  }
  if (::timerfd_settime(m.timer_fd, TFD_TIMER_ABSTIME, &when, nullptr) == 0) m.armed = earliest;
}

// Before a run that is not RunMainQueue: a stop left behind by StopMainQueue ends no later run.
// A stop that lands after the check ends this run at once, and its flag is seen by the next one.
void RestartIfStopped(MainContext& m) {
  if (!m.maybe_stopped.load(std::memory_order_relaxed)) return;
  if (!m.maybe_stopped.exchange(false, std::memory_order_acq_rel)) return;
  if (m.context.stopped()) m.context.restart();
}

// Before a run: the run takes the work the descriptor announced.
void ClearWake(MainContext& m) noexcept {
  if (!m.has_descriptor.load(std::memory_order_acquire)) return;
  std::uint64_t count;
  if (m.signalled.exchange(false, std::memory_order_acq_rel)) {
    while (::read(m.event_fd, &count, sizeof count) > 0) {
    }
  }
  std::lock_guard lock(m.mutex);
  while (::read(m.timer_fd, &count, sizeof count) > 0) {
  }
  m.armed = DispatchClock::time_point::min();  // expired: set again after the run
}

// After a run: the descriptor shows what is left.
void RearmWake(MainContext& m) noexcept {
  if (!m.has_descriptor.load(std::memory_order_acquire)) return;
  std::lock_guard lock(m.mutex);
  ArmWakeTimer(m);
}

}  // namespace

DispatchClock::time_point DispatchClock::now() noexcept { return time_point(SteadyTime()); }

void internal::WakeMain() noexcept {
  MainContext& m = Main();
  if (m.has_descriptor.load(std::memory_order_acquire) &&
      !m.signalled.exchange(true, std::memory_order_acq_rel)) {
    const std::uint64_t one = 1;
    (void)!::write(m.event_fd, &one, sizeof one);
  }
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

void internal::NoteMainDeadline(DispatchClock::time_point deadline) {
  MainContext& m = Main();
  std::lock_guard lock(m.mutex);
  m.deadlines.insert(deadline);
  if (m.has_descriptor.load(std::memory_order_relaxed) && deadline < m.armed) ArmWakeTimer(m);
}

void internal::ForgetMainDeadline(DispatchClock::time_point deadline) noexcept {
  MainContext& m = Main();
  std::lock_guard lock(m.mutex);
  auto it = m.deadlines.find(deadline);
  if (it != m.deadlines.end()) m.deadlines.erase(it);
}

bool internal::WatchOnMain(int fd) noexcept {
  MainContext& m = Main();
  std::lock_guard lock(m.mutex);
  try {
    m.watched.insert(fd);
  } catch (...) {
    return false;
  }
  if (m.epoll_fd >= 0) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (::epoll_ctl(m.epoll_fd, EPOLL_CTL_ADD, fd, &event) != 0) {
      m.watched.erase(fd);
      return false;
    }
  }
  return true;
}

void internal::UnwatchOnMain(int fd) noexcept {
  MainContext& m = Main();
  std::lock_guard lock(m.mutex);
  if (m.watched.erase(fd) == 0) return;
  // Explicitly: the caller's own descriptor keeps the watched file open after the duplicate closes.
  if (m.epoll_fd >= 0) ::epoll_ctl(m.epoll_fd, EPOLL_CTL_DEL, fd, nullptr);
}

namespace {

// The worker pool: an io_context run by a few threads, stopped and joined at exit. The context
// itself is never destroyed, as strands of live queues refer to it.
struct Pool {
  asio::io_context context;
  asio::executor_work_guard<asio::io_context::executor_type> guard{context.get_executor()};
  std::vector<std::thread> threads;
  QueueRef global;
  TimerPoke poke;
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

std::atomic<Pool*> started_pool{nullptr};  // for WakeForSteadyTime, which starts no pool

Pool* ThePool() noexcept {
  static Pool* pool = [] {
    Pool* made = StartPool();
    started_pool.store(made, std::memory_order_release);
    internal::SetSteadyTimeListener(&WakeForSteadyTime);
    return made;
  }();
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
  bool noted = false;
  try {
    auto timer = std::make_shared<internal::DispatchTimer>(impl_->TimerExecutor(), deadline);
    if (main) internal::NoteMainDeadline(deadline);
    noted = main;
    timer->async_wait([self = shared_from_this(), timer, deadline, main,
                       work = std::move(work)](const std::error_code& error) mutable {
      if (main) internal::ForgetMainDeadline(deadline);
      if (!error) RunAs(*self, work);
    });
  } catch (...) {
    if (noted) internal::ForgetMainDeadline(deadline);
    return false;
  }
  if (main) WakeMain();
  return true;
}

bool Queue::Async(DispatchBlockRef block, std::shared_ptr<const void> keep_alive) noexcept {
  if (block == nullptr) return false;
  return Post([block = std::move(block), keep_alive = std::move(keep_alive)] { block->Perform(); });
}

namespace compatibility {

// The first builds of version 1.0.0 took the block of Async by reference. Programs linked
// against them call this symbol, which stands where that member function stood (the object in
// the first argument, as for a member) and submits as Async does now.
KELVANE_EXPORT bool QueueAsyncTakingReference(Queue* queue, const DispatchBlockRef& block,
                                              std::shared_ptr<const void> keep_alive) noexcept
    __asm__("_ZN7kelvane8platform5Queue5AsyncERKSt10shared_ptrINS0_13DispatchBlockEES2_IKvE");

bool QueueAsyncTakingReference(Queue* queue, const DispatchBlockRef& block,
                               std::shared_ptr<const void> keep_alive) noexcept {
  return queue->Async(block, std::move(keep_alive));
}

}  // namespace compatibility

bool Queue::After(Nanoseconds delay, const DispatchBlockRef& block,
                  std::shared_ptr<const void> keep_alive) noexcept {
  if (delay <= Nanoseconds::zero()) return Async(block, std::move(keep_alive));
  if (block == nullptr) return false;
  struct Pending {
    asio::any_io_executor executor;
    internal::DispatchTimer timer;
  };
  const bool main = kind_ == Kind::kMain;
  const auto deadline = DeadlineAfter(delay);
  bool noted = false;
  std::shared_ptr<Pending> pending;
  try {
    auto executor = impl_->TimerExecutor();
    pending = std::make_shared<Pending>(Pending{executor, internal::DispatchTimer(executor)});
    pending->timer.expires_at(deadline);
    if (main) internal::NoteMainDeadline(deadline);
    noted = main;
    pending->timer.async_wait([self = shared_from_this(), pending, block, deadline, main,
                               keep_alive = std::move(keep_alive)](const std::error_code& error) {
      if (main) internal::ForgetMainDeadline(deadline);
      if (error) return;
      auto perform = [&block] { block->Perform(); };
      RunAs(*self, perform);
    });
  } catch (...) {
    if (noted) internal::ForgetMainDeadline(deadline);
    return false;
  }
  // Armed first, withdrawable second: a block cancelled already withdraws the wait at once, and
  // the withdrawal must find the wait in place (on the timer's executor, never beside the
  // async_wait above) or the wait would pin the block and its keep-alive until the deadline.
  // The wait holds the block and its keep-alive; a cancel withdraws it so that both are released
  // now rather than when the time comes.
  block->OnCancel(pending, [weak = std::weak_ptr<Pending>(pending)] {
    if (auto p = weak.lock()) {
      asio::post(p->executor, [p] { p->timer.cancel(); });
    }
  });
  if (main) WakeMain();
  return true;
}

bool Queue::IsCurrent() const noexcept { return tls_current_queue == this; }

QueueRef MainQueue() noexcept {
  MainContext* m = TheMain();
  return m == nullptr ? nullptr : m->queue;
}

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
  MainContext* m = TheMain();
  if (m == nullptr) return;
  ClearWake(*m);
  try {
    while (!m->stop_requested.exchange(false)) {
      if (m->context.stopped()) m->context.restart();
      m->context.run();
    }
  } catch (...) {
  }
  RearmWake(*m);
}

void StopMainQueue() noexcept {
  MainContext* m = TheMain();
  if (m == nullptr) return;
  m->stop_requested = true;
  m->context.stop();
  m->maybe_stopped.store(true, std::memory_order_release);  // after the stop: see RestartIfStopped
}

namespace {

// One turn of the main queue: the wake-up is cleared for the turn and armed again after it.
template <typename Turn>
std::size_t RunMainTurn(Turn turn) noexcept {
  MainContext* m = TheMain();
  if (m == nullptr) return 0;
  ClearWake(*m);
  std::size_t ran = 0;
  try {
    RestartIfStopped(*m);
    ran = turn(m->context);
  } catch (...) {
  }
  RearmWake(*m);
  return ran;
}

}  // namespace

std::size_t RunMainQueueFor(Nanoseconds duration) noexcept {
  // Real time, through a saturated deadline (the engine's own now + duration would overflow).
  // Not the dispatch clock: a test clock taken away on another thread would put its deadline
  // out of reach for as long as the clock had been advanced.
  using Steady = std::chrono::steady_clock;
  const auto now = Steady::now();
  const auto room = std::chrono::duration_cast<Nanoseconds>(Steady::time_point::max() - now);
  const auto end = duration >= room ? Steady::time_point::max()
                                    : now + std::chrono::duration_cast<Steady::duration>(duration);
  return RunMainTurn([end](asio::io_context& context) { return context.run_until(end); });
}

std::size_t PollMainQueue() noexcept {
  return RunMainTurn([](asio::io_context& context) { return context.poll(); });
}

void SetMainQueueWakeup(std::function<void()> wakeup) noexcept {
  MainContext* m = TheMain();
  if (m == nullptr) return;
  std::lock_guard lock(m->mutex);
  m->wakeup.swap(wakeup);
  m->has_wakeup.store(static_cast<bool>(m->wakeup), std::memory_order_release);
  // The old hook is released here, still under the lock: hooks hold no state that locks back.
}

std::optional<DispatchClock::time_point> MainQueueNextDeadline() noexcept {
  MainContext* m = TheMain();
  if (m == nullptr) return std::nullopt;
  std::lock_guard lock(m->mutex);
  if (m->deadlines.empty()) return std::nullopt;
  return *m->deadlines.begin();
}

int MainQueueWakeupDescriptor() noexcept {
  MainContext* m = TheMain();
  if (m == nullptr) return -1;
  std::lock_guard lock(m->mutex);
  if (m->epoll_fd >= 0) return m->epoll_fd;
  const int epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
  const int event_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int timer_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  auto add = [epoll_fd](int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &event) == 0;
  };
  bool ok = epoll_fd >= 0 && event_fd >= 0 && timer_fd >= 0 && add(event_fd) && add(timer_fd);
  for (auto it = m->watched.begin(); ok && it != m->watched.end(); ++it) ok = add(*it);
  if (!ok) {
    for (int fd : {epoll_fd, event_fd, timer_fd}) {
      if (fd >= 0) ::close(fd);
    }
    return -1;
  }
  m->epoll_fd = epoll_fd;
  m->event_fd = event_fd;
  m->timer_fd = timer_fd;
  m->armed = DispatchClock::time_point::min();
  ArmWakeTimer(*m);
  // Work may already be waiting: show it, as a submission would have.
  const std::uint64_t one = 1;
  (void)!::write(event_fd, &one, sizeof one);
  m->signalled.store(true, std::memory_order_release);
  m->has_descriptor.store(true, std::memory_order_release);
  return epoll_fd;
}

namespace {

void PostPoke(asio::io_context& context, TimerPoke& poke) noexcept {
  const std::uint64_t seen = poke.requests.load(std::memory_order_acquire);
  try {
    auto timer = std::make_shared<internal::DispatchTimer>(context.get_executor(),
                                                           DispatchClock::time_point::min());
    timer->async_wait([timer, &context, &poke, seen](const std::error_code&) {
      // The reactor took the time after this wait was armed, so it saw every move requested up
      // to `seen`; a later one may have come after it looked.
      if (poke.requests.load(std::memory_order_acquire) != seen) return PostPoke(context, poke);
      poke.pending.store(false, std::memory_order_release);
      if (poke.requests.load(std::memory_order_acquire) != seen &&
          !poke.pending.exchange(true, std::memory_order_acq_rel)) {
        PostPoke(context, poke);
      }
    });
  } catch (...) {
    poke.pending.store(false, std::memory_order_release);
  }
}

// Wakes an engine's reactor so that it measures its timers again by the moved clock: a wait that
// is due at once makes it take the time and recompute every timer's remaining time. A poke still
// pending looks again when it completes, so an engine that nobody runs (a main queue left alone)
// holds one at most, however often the clock moves.
void Poke(asio::io_context& context, TimerPoke& poke) noexcept {
  poke.requests.fetch_add(1, std::memory_order_acq_rel);
  if (poke.pending.exchange(true, std::memory_order_acq_rel)) return;
  PostPoke(context, poke);
}

// The clock's listener, set once an engine exists. After an advance the pool measures its waits
// again, and so does the main queue when it has any, which its wake-up descriptor and hook then
// announce. When the advance is taken back nothing falls due: the engines find out by
// themselves when they next wake (early, at worst), and only the descriptor's timer is set again.
void WakeForSteadyTime(bool forward) noexcept {
  Pool* pool = started_pool.load(std::memory_order_acquire);
  if (forward && pool != nullptr) Poke(pool->context, pool->poke);
  MainContext* m = the_main.load(std::memory_order_acquire);
  if (m == nullptr) return;
  bool waiting;
  {
    std::lock_guard lock(m->mutex);
    waiting = !m->deadlines.empty();
    if (m->has_descriptor.load(std::memory_order_relaxed)) {
      m->armed = DispatchClock::time_point::min();
      ArmWakeTimer(*m);
    }
  }
  if (!forward || !waiting) return;
  Poke(m->context, m->poke);
  WakeMain();
}

}  // namespace

void AdvanceDispatchClock(Nanoseconds delta) noexcept { internal::AdvanceSteadyTime(delta); }

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

}  // namespace kelvane::platform

// Runs of the main queue used to be measured on the dispatch clock, and the engine's function for
// that left the shared library as a symbol of its own, which the stored ABI of 1.x lists. It is
// kept defined, so that no symbol a program may have bound to goes away.
template std::size_t asio::io_context::run_until(
    const kelvane::platform::DispatchClock::time_point& abs_time);
