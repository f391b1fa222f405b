// Queues, the main queue, the worker pool and cancellable blocks of the dispatch layer.
// clang-format off
#include "kelvane/platform/internal/dispatch_engine.h"  // first: it sets up the Asio build
// clang-format on

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <limits>
#include <set>
#include <thread>

namespace kelvane::platform {
namespace internal {

thread_local const Queue* tls_current_queue = nullptr;

}  // namespace internal

using internal::DeadlineAfter;
using internal::RunAs;
using internal::tls_current_queue;
using internal::WakeMain;

namespace {

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

}  // namespace

void internal::WakeMain() noexcept {
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

namespace {

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

}  // namespace kelvane::platform
