#include "kelvane/platform/dispatch.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>
#include <vector>

#include "kelvane/platform/path_monitor.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/main_queue.h"

namespace kelvane::platform {
namespace {

using namespace std::chrono_literals;

using testing::RunMainUntil;
using testing::StepMainQueue;
using testing::WaitUntil;

void DrainMain() {
  while (PollMainQueue() != 0) {
  }
}

TEST(Dispatch, SerialQueueRunsInOrderOneAtATime) {
  QueueRef queue = CreateSerialQueue("test.serial");
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->kind(), Queue::Kind::kSerial);
  EXPECT_FALSE(queue->IsCurrent());
  std::vector<int> order;  // touched only by the queue: serial means no lock is needed
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> not_current{0};
  constexpr int kCount = 2000;
  std::promise<void> finished;
  for (int i = 0; i < kCount; ++i) {
    ASSERT_TRUE(queue->Async([&, i] {
      if (inside.fetch_add(1) != 0) ++overlaps;
      if (!queue->IsCurrent() || CurrentQueue() != queue.get()) ++not_current;
      order.push_back(i);
      inside.fetch_sub(1);
      if (i == kCount - 1) finished.set_value();
    }));
  }
  ASSERT_EQ(finished.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(not_current.load(), 0);
  ASSERT_EQ(order.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(order[i], i);
  EXPECT_FALSE(queue->Async(std::function<void()>()));  // empty work is refused
}

TEST(Dispatch, GlobalQueueRunsOnThePoolAndSurvivesThrowingBlocks) {
  QueueRef global = GlobalQueue();
  ASSERT_NE(global, nullptr);
  EXPECT_EQ(global, GlobalQueue());
  ASSERT_TRUE(global->Async([] { throw 1; }));
  std::promise<std::thread::id> ran;
  ASSERT_TRUE(global->Async([&] { ran.set_value(std::this_thread::get_id()); }));
  auto future = ran.get_future();
  ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
  EXPECT_NE(future.get(), std::this_thread::get_id());
}

TEST(Dispatch, MainQueueRunsOnlyWhenDrivenAndWakesItsDriver) {
  DrainMain();
  QueueRef main = MainQueue();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->kind(), Queue::Kind::kMain);
  std::atomic<int> wakeups{0};
  SetMainQueueWakeup([&] { ++wakeups; });
  bool ran = false;
  bool was_current = false;
  ASSERT_TRUE(main->Async([&] {
    ran = true;
    was_current = main->IsCurrent();
  }));
  EXPECT_EQ(wakeups.load(), 1);
  EXPECT_FALSE(ran);  // nothing runs the main queue behind the application's back
  EXPECT_GE(PollMainQueue(), 1u);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(was_current);
  EXPECT_FALSE(main->IsCurrent());

  // Delayed work: the driver learns the deadline, and the work waits for it.
  EXPECT_FALSE(MainQueueNextDeadline().has_value());
  bool late_ran = false;
  const auto submitted = DispatchClock::now();
  ASSERT_TRUE(main->After(1h, [&] { late_ran = true; }));
  EXPECT_EQ(wakeups.load(), 2);
  auto deadline = MainQueueNextDeadline();
  ASSERT_TRUE(deadline.has_value());
  EXPECT_GE(*deadline, submitted + 1h);
  ASSERT_TRUE(StepMainQueue(59min));
  EXPECT_FALSE(late_ran);
  ASSERT_TRUE(StepMainQueue(1min));
  EXPECT_TRUE(late_ran);
  EXPECT_FALSE(MainQueueNextDeadline().has_value());
  const int seen = wakeups.load();
  SetMainQueueWakeup(nullptr);
  ASSERT_TRUE(main->Async([] {}));
  EXPECT_EQ(wakeups.load(), seen);  // nothing once the hook is gone
  DrainMain();
}

// An application's own loop: it sleeps until `wait` returns, then polls the main queue.
template <typename Done, typename Wait>
bool OwnLoopUntil(Done done, Wait wait) {
  const auto end = std::chrono::steady_clock::now() + 3s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    wait();
    PollMainQueue();
  }
  return true;
}

TEST(Dispatch, AnOwnLoopSeesEveryKindOfMainQueueWork) {
  DrainMain();
  // Woken by the hook, sleeping until the next deadline (or far beyond the test's limit).
  std::mutex mutex;
  std::condition_variable woken;
  bool wake = false;
  SetMainQueueWakeup([&] {
    std::lock_guard lock(mutex);
    wake = true;
    woken.notify_one();
  });
  auto hook_wait = [&] {
    std::unique_lock lock(mutex);
    const auto next = MainQueueNextDeadline();
    const auto timeout = next ? *next - DispatchClock::now() : Nanoseconds(10s);
    woken.wait_for(lock, timeout, [&] { return wake; });
    wake = false;
  };
  auto source = TimerSource::Create(MainQueue());
  int fires = 0;
  source->SetEventHandler([&] { ++fires; });
  source->SetTimer(5ms, 0ms, 0ms);
  source->Resume();
  EXPECT_TRUE(OwnLoopUntil([&] { return fires == 1; }, hook_wait));
  source->SetTimer(5ms, 0ms, 0ms);  // re-armed: its new deadline is seen too
  EXPECT_TRUE(OwnLoopUntil([&] { return fires == 2; }, hook_wait));
  SetMainQueueWakeup(nullptr);

  // Waiting on the descriptor alone: submissions, timers and read sources all wake it.
  const int fd = MainQueueWakeupDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(MainQueueWakeupDescriptor(), fd);
  auto poll_wait = [fd] {
    pollfd entry{fd, POLLIN, 0};
    ::poll(&entry, 1, 10000);
  };
  source->SetTimer(5ms, 0ms, 0ms);
  EXPECT_TRUE(OwnLoopUntil([&] { return fires == 3; }, poll_wait));
  bool ran = false;
  ASSERT_TRUE(MainQueue()->After(5ms, [&] { ran = true; }));
  EXPECT_TRUE(OwnLoopUntil([&] { return ran; }, poll_wait));
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  int reads = 0;
  auto reader = ReadSource::Create(MainQueue(), pipe_fds[0], [&] {
    char buffer[8];
    if (::read(pipe_fds[0], buffer, sizeof buffer) > 0) ++reads;
  });
  ASSERT_NE(reader, nullptr);
  PollMainQueue();
  std::thread writer([&] {
    std::this_thread::sleep_for(5ms);
    (void)!::write(pipe_fds[1], "x", 1);
  });
  EXPECT_TRUE(OwnLoopUntil([&] { return reads == 1; }, poll_wait));
  writer.join();
  reader->Cancel();
  source->Cancel();
  DrainMain();
  pollfd entry{fd, POLLIN, 0};
  EXPECT_EQ(::poll(&entry, 1, 0), 0);  // nothing left: the descriptor is quiet
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
}

TEST(Dispatch, StopEndsRunMainQueue) {
  // A stop requested before the run ends it at once; one from a block ends it from inside.
  StopMainQueue();
  RunMainQueue();
  int ran = 0;
  ASSERT_TRUE(MainQueue()->Async([&] {
    ++ran;
    StopMainQueue();
  }));
  RunMainQueue();
  EXPECT_EQ(ran, 1);
  // The longest run saturates its deadline rather than overflowing it, and runs until stopped.
  ASSERT_TRUE(MainQueue()->Async([&] {
    ++ran;
    StopMainQueue();
  }));
  EXPECT_EQ(RunMainQueueFor(Nanoseconds::max()), 1u);
  EXPECT_EQ(ran, 2);
  RunMainQueue();  // takes the stop request left behind
}

// Out of descriptors: the main queue still runs blocks; what needs a descriptor says it failed.
int OutOfDescriptorsChild() {
  rlimit limit{64, 64};
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
  while (::dup(0) >= 0) {
  }
  QueueRef main = MainQueue();
  if (main == nullptr) return 2;
  bool ran = false;
  if (!main->Async([&] { ran = true; }) || PollMainQueue() != 1 || !ran) return 3;
  if (MainQueueWakeupDescriptor() != -1) return 4;
  if (main->After(1ms, [] {}) || TimerSource::Create(main) != nullptr) return 5;
  return 0;
}
[[maybe_unused]] const bool kOutOfDescriptors =
    testing::ChildProcess("no-fds", OutOfDescriptorsChild);

// Exit while a pool thread still asks for the radio technology: what it uses outlives the pool.
int ExitDuringWorkChild() {
  QueueRef queue = CreateSerialQueue("test.exit");
  std::atomic<bool> started{false};
  queue->Async([&started] {
    for (int i = 0; i < 20000; ++i) {
      // A provider held on the heap: used after its end, it would be freed twice.
      SetRadioTechnologyProvider([text = String(40, u'x')] { return std::optional<String>(text); });
      (void)CurrentRadioTechnology();
      started = true;
    }
  });
  while (!started) std::this_thread::yield();
  return 0;  // std::exit, with the block still running
}
[[maybe_unused]] const bool kExitDuringWork = testing::ChildProcess("exit", ExitDuringWorkChild);

TEST(Dispatch, FailuresAndExitEndNoProcess) {
  EXPECT_EQ(testing::RunChildProcess("no-fds"), 0);
  EXPECT_EQ(testing::RunChildProcess("exit"), 0);
}

TEST(DispatchBlock, CancelledBeforeStartNeverRunsAndIsReleasedEarly) {
  DrainMain();
  int runs = 0;
  DispatchBlockRef block = DispatchBlock::Create([&] { ++runs; });
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(DispatchBlock::Create(std::function<void()>()), nullptr);

  auto owner = std::make_shared<int>(1);
  std::weak_ptr<int> watch = owner;
  ASSERT_TRUE(MainQueue()->Async(block, owner));
  ASSERT_TRUE(MainQueue()->After(1h, block, owner));  // far away: only a withdrawal frees it
  owner.reset();
  block->Cancel();
  EXPECT_TRUE(block->IsCancelled());
  ASSERT_TRUE(RunMainUntil([&] { return watch.expired(); }));
  EXPECT_EQ(runs, 0);
  EXPECT_FALSE(block->Perform());
  EXPECT_FALSE(MainQueueNextDeadline().has_value());

  // Submitting a cancelled block again runs nothing either.
  ASSERT_TRUE(MainQueue()->Async(block));
  DrainMain();
  EXPECT_EQ(runs, 0);
}

TEST(DispatchBlock, CancelledThenDelayedIsReleasedAtOnce) {
  // The withdrawal of a block cancelled already runs at once, racing the submission's wait.
  QueueRef queue = CreateSerialQueue("test.withdraw");
  std::vector<std::weak_ptr<int>> watches;
  for (int i = 0; i < 1000; ++i) {
    DispatchBlockRef block = DispatchBlock::Create([] {});
    block->Cancel();
    auto keep_alive = std::make_shared<int>(i);
    watches.push_back(keep_alive);
    ASSERT_TRUE(queue->After(1h, block, std::move(keep_alive)));
  }
  EXPECT_TRUE(WaitUntil(
      [&] { return std::ranges::all_of(watches, [](auto& w) { return w.expired(); }); }, 1s));
}

TEST(DispatchBlock, RunsEachSubmissionAndFinishesARunInProgress) {
  QueueRef queue = CreateSerialQueue("test.block");
  ASSERT_NE(queue, nullptr);
  std::atomic<int> runs{0};
  std::promise<void> started;
  std::promise<void> release;
  auto released = release.get_future().share();
  DispatchBlockRef block = DispatchBlock::Create([&] {
    if (runs.fetch_add(1) == 1) {
      started.set_value();
      released.wait();
    }
  });
  ASSERT_TRUE(block->Perform());
  ASSERT_TRUE(queue->Async(block));
  ASSERT_EQ(started.get_future().wait_for(10s), std::future_status::ready);
  block->Cancel();  // while running: the run goes on to its end
  release.set_value();
  std::promise<void> drained;
  ASSERT_TRUE(queue->Async([&] { drained.set_value(); }));
  ASSERT_EQ(drained.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_EQ(runs.load(), 2);
}

TEST(TimerSource, FiresOnItsQueueAndFollowsSuspendResumeInTime) {
  DrainMain();
  EXPECT_EQ(TimerSource::Create(nullptr), nullptr);
  auto source = TimerSource::Create(MainQueue());
  ASSERT_NE(source, nullptr);
  int fires = 0;
  int off_queue = 0;
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  source->SetEventHandler([&, token] {
    if (!MainQueue()->IsCurrent()) ++off_queue;
    ++fires;
  });
  token.reset();
  source->SetTimer(1h, 1h, 0ms);  // grid: 1h, 2h, 3h ... from now
  ASSERT_TRUE(StepMainQueue(150min));
  EXPECT_EQ(fires, 0);  // created suspended
  source->Resume();
  ASSERT_TRUE(StepMainQueue(10min));
  EXPECT_EQ(fires, 1);  // one late fire for the missed ticks, then back on the grid (3h)
  ASSERT_TRUE(StepMainQueue(30min));
  EXPECT_EQ(fires, 2);
  source->Suspend();
  source->Suspend();  // nested
  ASSERT_TRUE(StepMainQueue(3h));
  source->Resume();
  ASSERT_TRUE(StepMainQueue(3h));
  EXPECT_EQ(fires, 2);  // still suspended once
  source->Resume();
  ASSERT_TRUE(StepMainQueue(1min));
  EXPECT_EQ(fires, 3);
  source->SetTimer(5h, 0ms, 0ms);  // reprogrammed, zero interval: once, 5h from now
  ASSERT_TRUE(StepMainQueue(4h));
  EXPECT_EQ(fires, 3);
  ASSERT_TRUE(StepMainQueue(2h));
  ASSERT_TRUE(StepMainQueue(10h));
  EXPECT_EQ(fires, 4);
  source->SetTimer(1h, 1h, 0ms);
  source->Cancel();
  EXPECT_TRUE(source->IsCancelled());
  ASSERT_TRUE(StepMainQueue(3h));
  EXPECT_EQ(fires, 4);
  EXPECT_TRUE(watch.expired());  // the handler was released
  EXPECT_EQ(off_queue, 0);
}

TEST(TimerSource, NoHandlerRunsOnceCancelHasReturned) {
  QueueRef queue = CreateSerialQueue("test.cancel");
  for (int i = 0; i < 200; ++i) {
    auto source = TimerSource::Create(queue);
    std::atomic<bool> cancelled{false};
    std::atomic<int> late{0};
    std::atomic<int> fires{0};
    source->SetEventHandler([&] {
      if (cancelled) ++late;
      ++fires;
      std::this_thread::yield();
      if (cancelled) ++late;
    });
    source->SetTimer(0ms, 100us, 0ms);
    source->Resume();
    while (fires == 0) std::this_thread::yield();
    source->Cancel();
    cancelled = true;
    std::promise<void> drained;
    queue->Async([&] { drained.set_value(); });
    drained.get_future().wait();
    ASSERT_EQ(late.load(), 0) << "round " << i;
  }
  // From its own handler, Cancel does not wait for itself.
  auto source = TimerSource::Create(MainQueue());
  int fires = 0;
  source->SetEventHandler([&] {
    ++fires;
    source->Cancel();
  });
  source->SetTimer(0ms, 1ms, 0ms);
  source->Resume();
  ASSERT_TRUE(RunMainUntil([&] { return source->IsCancelled(); }));
  ASSERT_TRUE(StepMainQueue(1h));
  EXPECT_EQ(fires, 1);
}

TEST(Timer, CarriesUserInfoAndInvalidates) {
  DrainMain();
  EXPECT_EQ(Timer::Schedule(MainQueue(), 0ms, true, [](Timer&) {}, {}), nullptr);
  EXPECT_EQ(Timer::Schedule(nullptr, 1ms, false, [](Timer&) {}, {}), nullptr);
  int seen = 0;
  auto once = Timer::Schedule(
      MainQueue(), 1ms, false, [&](Timer& t) { seen += std::any_cast<int>(t.UserInfo()); }, 5);
  ASSERT_NE(once, nullptr);
  EXPECT_TRUE(once->IsValid());
  ASSERT_TRUE(RunMainUntil([&] { return !once->IsValid(); }));
  EXPECT_EQ(seen, 5);

  int repeats = 0;
  std::weak_ptr<Timer> watch;
  {
    auto every = Timer::Schedule(MainQueue(), 1ms, true, [&](Timer&) { ++repeats; }, {});
    watch = every;
  }
  ASSERT_TRUE(RunMainUntil([&] { return repeats >= 3; }));  // alive while scheduled
  ASSERT_FALSE(watch.expired());
  watch.lock()->Invalidate();
  DrainMain();
  EXPECT_TRUE(watch.expired());
}

TEST(ReadSource, RunsItsHandlerWhenReadableUntilCancelled) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  QueueRef queue = CreateSerialQueue("test.read");
  std::atomic<int> bytes{0};
  auto source = ReadSource::Create(queue, fds[0], [&] {
    char buffer[64];
    const ssize_t n = ::read(fds[0], buffer, sizeof(buffer));
    if (n > 0) bytes += static_cast<int>(n);
  });
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(ReadSource::Create(queue, -1, [] {}), nullptr);
  ASSERT_EQ(::write(fds[1], "abc", 3), 3);
  EXPECT_TRUE(WaitUntil([&] { return bytes.load() == 3; }));
  std::weak_ptr<ReadSource> watch = source;
  source->Cancel();
  source.reset();
  EXPECT_TRUE(WaitUntil([&] { return watch.expired(); }));  // its wait ended: nothing left
  EXPECT_EQ(::close(fds[0]), 0);  // still the caller's descriptor: the source watched a duplicate
  ::close(fds[1]);
}

}  // namespace
}  // namespace kelvane::platform
