// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/dispatch/dispatch.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <numeric>
#include <thread>
#include <tuple>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/net/path_monitor.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/main_queue.h"

namespace kelvane::platform {

// The symbol a program linked against the first 1.0.0 builds calls for Async.
bool FirstBuildsAsync(Queue* queue, const DispatchBlockRef& block,
                      std::shared_ptr<const void> keep_alive) noexcept
    __asm__("_ZN7kelvane8platform5Queue5AsyncERKSt10shared_ptrINS0_13DispatchBlockEES2_IKvE");

namespace {

using namespace std::chrono_literals;

using testing::DrainQueue;
using testing::RunMainUntil;
using testing::StepMainQueue;
using testing::WaitUntil;

void DrainMain() {
  while (PollMainQueue() != 0) {
  }
}

// Whether an own loop asleep on the main queue's descriptor would be woken now.
bool WakeupPending() {
  pollfd entry{MainQueueWakeupDescriptor(), POLLIN, 0};
  return ::poll(&entry, 1, 0) == 1;
}

TEST(Dispatch, SerialQueueRunsInOrderOneAtATime) {
  QueueRef queue = CreateSerialQueue("test.serial");
  ASSERT_NE(queue, nullptr);
  EXPECT_FALSE(queue->IsCurrent());
  std::vector<int> order;  // touched only by the queue: serial means no lock is needed
  std::atomic<int> inside{0};
  std::atomic<int> faults{0};  // overlapping runs, or a run that is not the queue's
  constexpr int kCount = 2000;
  for (int i = 0; i < kCount; ++i) {
    ASSERT_TRUE(queue->Async([&, i] {
      if (inside.fetch_add(1) != 0) ++faults;
      if (CurrentQueue() != queue.get()) ++faults;
      order.push_back(i);
      inside.fetch_sub(1);
    }));
  }
  ASSERT_TRUE(DrainQueue(queue));
  EXPECT_EQ(faults.load(), 0);
  std::vector<int> expected(kCount);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(order, expected);
  EXPECT_FALSE(queue->Async(std::function<void()>()));  // empty work is refused
}

TEST(Dispatch, GlobalQueueRunsOnThePoolAndSurvivesThrowingBlocks) {
  QueueRef global = GlobalQueue();
  ASSERT_NE(global, nullptr);
  ASSERT_TRUE(global->Async([] { throw 1; }));
  std::promise<std::thread::id> ran;
  ASSERT_TRUE(global->Async([&] { ran.set_value(std::this_thread::get_id()); }));
  auto future = ran.get_future();
  ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
  EXPECT_NE(future.get(), std::this_thread::get_id());
}

// In a fresh process, as the deprecated AdvanceDispatchClock holds for the rest of the process
// while the system clock is in place; under an installed clock it ends with the clock. Then the
// process exits while a pool thread still asks for the radio technology: what that uses must
// outlive the pool.
int FreshProcessChild() {
  auto lead = [] {  // the steady clock first: the lead read is never short of the advance
    const auto real = std::chrono::steady_clock::now().time_since_epoch();
    return DispatchClock::now().time_since_epoch() - real;
  };
  if (lead() >= 1min) return 1;
  bool ran = false;
  if (!MainQueue()->After(30min, [&] { ran = true; })) return 2;
  AdvanceDispatchClock(1h);
  if (lead() < 1h || lead() >= 2h) return 3;
  if (!RunMainUntil([&] { return ran; })) return 4;  // woken as an advance of the clock wakes
  {
    ManualClock clock(0);
    ScopedClock scoped(clock);
    AdvanceDispatchClock(2h);
    if (lead() < 3h) return 5;
    if (clock.Now() != 0) return 6;  // the wall clock stays where it was
  }
  if (lead() < 1h || lead() >= 2h) return 7;

  QueueRef queue = CreateSerialQueue("test.exit");
  static std::atomic<bool> started{false};  // not on this stack: the block outlives the call
  queue->Async([] {
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
[[maybe_unused]] const bool kFreshProcess =
    testing::ChildProcess("dispatch-fresh-process", FreshProcessChild);

TEST(Dispatch, MainQueueRunsOnlyWhenDrivenAndAClocksAdvanceWakesBothEngines) {
  ManualClock clock(Clock::System().Now());  // StepMainQueue advances it
  ScopedClock scoped(clock);
  DrainMain();
  QueueRef main = MainQueue();
  ASSERT_NE(main, nullptr);
  std::atomic<int> wakeups{0};
  SetMainQueueWakeup([&] { ++wakeups; });
  int ran = 0;
  ASSERT_TRUE(main->Async([&] { ran += main->IsCurrent() ? 1 : 100; }));
  // Nothing runs the main queue behind the application's back.
  EXPECT_EQ((std::tuple{wakeups.load(), ran}), std::tuple(1, 0));
  EXPECT_GE(PollMainQueue(), 1u);
  EXPECT_EQ(ran, 1);

  // Delayed work: the driver learns the deadline, and the work waits for it.
  bool late_ran = false;
  const auto submitted = DispatchClock::now();
  ASSERT_TRUE(main->After(1h, [&] { late_ran = true; }));
  EXPECT_EQ(wakeups.load(), 2);
  EXPECT_GE(MainQueueNextDeadline().value_or(submitted), submitted + 1h);
  EXPECT_EQ((std::tuple{StepMainQueue(59min), late_ran}), std::tuple(true, false));
  EXPECT_EQ((std::tuple{StepMainQueue(1min), late_ran}), std::tuple(true, true));
  EXPECT_FALSE(MainQueueNextDeadline().has_value());
  const int seen = wakeups.load();
  SetMainQueueWakeup(nullptr);
  ASSERT_TRUE(main->Async([] {}));
  EXPECT_EQ(wakeups.load(), seen);  // nothing once the hook is gone
  DrainMain();

  // An advance of the installed clock: neither engine waits for the hour. The pool runs its
  // block by itself, and an own loop asleep on the descriptor is woken to run the main queue.
  ASSERT_GE(MainQueueWakeupDescriptor(), 0);  // made before the work, as an own loop makes it
  QueueRef serial = CreateSerialQueue("test.clock");
  ASSERT_NE(serial, nullptr);
  auto pool_ran = std::make_shared<std::atomic<bool>>(false);
  bool main_ran = false;
  ASSERT_TRUE(serial->After(1h, [pool_ran] { *pool_ran = true; }));
  ASSERT_TRUE(main->After(30min, [&] { main_ran = true; }));
  DrainMain();
  EXPECT_FALSE(WakeupPending());  // nothing due yet: an own loop may sleep
  clock.Advance(3600);
  EXPECT_TRUE(WakeupPending());
  EXPECT_TRUE(WaitUntil([&] { return pool_ran->load(); }));
  EXPECT_TRUE(RunMainUntil([&] { return main_ran; }));
  // The deprecated advance, and an exit during work, in a fresh process: 1 to 7, the clock's fact
  // on the line that returns it did not hold; 128 and more: a crash.
  EXPECT_EQ(testing::RunChildProcess("dispatch-fresh-process"), 0);
}

TEST(Dispatch, AnOwnLoopSeesEveryKindOfMainQueueWork) {
  DrainMain();
  // A timer source's deadline is seen as armed, and again after a re-arm.
  auto source = TimerSource::Create(MainQueue());
  int fires = 0;
  source->SetEventHandler([&] { ++fires; });
  for (const auto delay : {Nanoseconds(2h), Nanoseconds(1h)}) {
    const auto before = DispatchClock::now();
    source->SetTimer(delay, 0ms, 0ms);
    source->Resume();  // created suspended; a resume beyond that changes nothing
    DrainMain();
    const auto deadline = MainQueueNextDeadline();
    ASSERT_TRUE(deadline.has_value());
    EXPECT_GE(*deadline, before + delay);
    EXPECT_LE(*deadline, DispatchClock::now() + delay);
  }
  source->Suspend();  // withdrawn: no deadline left
  DrainMain();
  EXPECT_FALSE(MainQueueNextDeadline().has_value());

  // An own loop that waits on the descriptor alone and only polls: timers and read sources
  // wake it.
  const int fd = MainQueueWakeupDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(MainQueueWakeupDescriptor(), fd);
  auto loop_until = [fd](auto done) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (!done() && std::chrono::steady_clock::now() < end) {
      pollfd entry{fd, POLLIN, 0};
      ::poll(&entry, 1, 10000);
      PollMainQueue();
    }
    return done();
  };
  source->SetTimer(5ms, 0ms, 0ms);
  source->Resume();
  EXPECT_TRUE(loop_until([&] { return fires == 1; }));
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  int reads = 0;
  auto reader = ReadSource::Create(MainQueue(), pipe_fds[0], [&] {
    char buffer[8];
    if (::read(pipe_fds[0], buffer, sizeof buffer) > 0) ++reads;
  });
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadSource::Create(MainQueue(), -1, [] {}), nullptr);
  PollMainQueue();
  std::thread writer([&] { (void)!::write(pipe_fds[1], "x", 1); });
  EXPECT_TRUE(loop_until([&] { return reads == 1; }));
  writer.join();
  reader->Cancel();
  source->Cancel();
  DrainMain();
  EXPECT_FALSE(WakeupPending());       // nothing left: the descriptor is quiet
  EXPECT_EQ(::close(pipe_fds[0]), 0);  // still the caller's: the source watched a duplicate
  ::close(pipe_fds[1]);
}

TEST(Dispatch, StopEndsRunMainQueue) {
  // A stop requested before the run ends it at once; one from a block ends it from inside.
  StopMainQueue();
  RunMainQueue();
  int ran = 0;
  auto stopping = [&] {
    ++ran;
    StopMainQueue();
  };
  ASSERT_TRUE(MainQueue()->Async(stopping));
  RunMainQueue();
  EXPECT_EQ(ran, 1);
  // The longest run saturates its deadline rather than overflowing it, and runs until stopped.
  ASSERT_TRUE(MainQueue()->Async(stopping));
  EXPECT_EQ(RunMainQueueFor(Nanoseconds::max()), 1u);
  EXPECT_EQ(ran, 2);
  RunMainQueue();  // takes the stop request left behind
}

// A block cancelled already is withdrawn at once, not an hour later; so is one cancelled while
// it waits. A block submitted as the first builds called Async still runs, and is released after.
TEST(DispatchBlock, CancelledBlocksAreReleasedAtOnceAndTheFirstBuildsAsyncStillSubmits) {
  for (const bool cancel_first : {true, false}) {
    SCOPED_TRACE(cancel_first ? "cancelled, then delayed" : "delayed, then cancelled");
    DispatchBlockRef block = DispatchBlock::Create([] {});
    if (cancel_first) block->Cancel();
    auto keep_alive = std::make_shared<int>(0);
    std::weak_ptr<int> watch = keep_alive;
    ASSERT_TRUE(CreateSerialQueue("test.withdraw")->After(1h, block, std::move(keep_alive)));
    if (!cancel_first) block->Cancel();
    EXPECT_TRUE(WaitUntil([&] { return watch.expired(); }, 1s));
  }
  QueueRef queue = CreateSerialQueue("test.compatibility");
  ASSERT_NE(queue, nullptr);
  std::atomic<int> runs{0};
  auto kept = std::make_shared<int>(0);
  ASSERT_TRUE(FirstBuildsAsync(queue.get(), DispatchBlock::Create([&] { ++runs; }), kept));
  EXPECT_FALSE(FirstBuildsAsync(queue.get(), nullptr, nullptr));
  ASSERT_TRUE(DrainQueue(queue));
  EXPECT_EQ((std::tuple{runs.load(), kept.use_count()}), std::tuple(1, 1));  // released after
}

}  // namespace
}  // namespace kelvane::platform
