#include "kelvane/runtime/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>

#include "kelvane/testing/main_queue.h"

namespace kelvane {
namespace {

using namespace std::chrono_literals;
using platform::DispatchClock;

using testing::RunMainUntil;
using testing::WaitUntil;

TEST(TimeConversion, SecondsBecomeTruncatedSaturatedNanoseconds) {
  constexpr auto kMax = std::numeric_limits<int64_t>::max();
  constexpr auto kMin = std::numeric_limits<int64_t>::min();
  // Truncated, not rounded; 9.3e9 s is just past the range and 9.2e9 s just inside.
  // clang-format off
  const std::pair<double, int64_t> cases[] = {
      {1.5, 1500000000}, {-0.25, -250000000}, {1e-10, 0}, {2.9999999999e-9, 2},
      {std::nan(""), 0}, {1e300, kMax}, {INFINITY, kMax}, {9.3e9, kMax}, {-1e300, kMin},
      {9.2e9, 9200000000000000000}};
  // clang-format on
  for (const auto& [seconds, nanoseconds] : cases) {
    EXPECT_EQ(internal::SecondsToNanoseconds(seconds).count(), nanoseconds) << seconds;
  }
}

TEST(GCDTimer, RefusesBadArgumentsAndLeavesARunningTimerAlone) {
  platform::QueueRef queue = platform::CreateSerialQueue("test.gcdtimer");
  auto timer = std::make_shared<GCDTimer>();
  std::atomic<int> fires{0};
  EXPECT_FALSE(timer->Start(0, 0.0, 0, queue, [] {}));
  EXPECT_FALSE(timer->Start(0, -1.0, 0, queue, [] {}));
  EXPECT_FALSE(timer->Start(0, std::nan(""), 0, queue, [] {}));
  EXPECT_FALSE(timer->Start(0, 0.001, 0, nullptr, [] {}));
  EXPECT_FALSE(timer->Start(0, 0.001, 0, queue, VoidBlock()));
  timer->Cancel();  // never started: nothing happens
  ASSERT_TRUE(timer->Start(0, 0.002, 0, queue, [&] { ++fires; }));
  ASSERT_TRUE(WaitUntil([&] { return fires.load() >= 2; }));
  EXPECT_FALSE(timer->Start(0, 0.0, 0, queue, [] {}));  // refused: the old timer keeps going
  const int seen = fires.load();
  ASSERT_TRUE(WaitUntil([&] { return fires.load() >= seen + 2; }));
  timer->Cancel();
}

TEST(GCDTimer, RestartKeepsTheFirstQueueAndCancelForgetsIt) {
  platform::QueueRef first = platform::CreateSerialQueue("test.first");
  platform::QueueRef second = platform::CreateSerialQueue("test.second");
  auto timer = std::make_shared<GCDTimer>();
  std::atomic<int> on_first{0};
  std::atomic<int> on_second{0};
  std::atomic<int> restarted{0};
  auto where = [&] {
    if (first->IsCurrent()) ++on_first;
    if (second->IsCurrent()) ++on_second;
  };
  ASSERT_TRUE(timer->Start(0, 0.002, 0, first, where));
  ASSERT_TRUE(WaitUntil([&] { return on_first.load() >= 1; }));
  // Restarted with another queue and handler: the new handler runs, on the first queue.
  ASSERT_TRUE(timer->Start(0.001, 0.002, 0.001, second, [&] {
    where();
    ++restarted;
  }));
  ASSERT_TRUE(WaitUntil([&] { return restarted.load() >= 3; }));
  EXPECT_EQ(on_second.load(), 0);

  timer->Cancel();
  const int before = restarted.load();
  std::this_thread::sleep_for(20ms);
  const int settled = restarted.load();  // a fire under way at Cancel may have landed
  EXPECT_LE(settled, before + 1);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(restarted.load(), settled);

  // After Cancel, the next start makes a new timer on the queue it is given.
  on_first = 0;
  ASSERT_TRUE(timer->Start(0, 0.002, 0, second, where));
  ASSERT_TRUE(WaitUntil([&] { return on_second.load() >= 2; }));
  timer.reset();  // destruction cancels
  const int last = on_second.load();
  std::this_thread::sleep_for(20ms);
  EXPECT_LE(on_second.load(), last + 1);
  EXPECT_EQ(on_first.load(), 0);
}

TEST(GCDBlock, StatesFollowScheduleRunAndCancel) {
  EXPECT_EQ(GCDBlock::initWithBlock(VoidBlock()), nullptr);
  int runs = 0;
  auto block = GCDBlock::initWithBlock([&] { ++runs; });
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->status(), GCDBlock::kCreated);
  block->cancel();  // state 0: unchanged
  EXPECT_EQ(block->status(), GCDBlock::kCreated);
  block->runInQueue(nullptr, 0);
  EXPECT_EQ(block->status(), GCDBlock::kCreated);

  block->runInQueue(platform::MainQueue(), -1.0);  // negative: at once
  EXPECT_EQ(block->status(), GCDBlock::kScheduled);
  ASSERT_TRUE(RunMainUntil([&] { return block->status() == GCDBlock::kFinished; }));
  EXPECT_EQ(runs, 1);
  block->cancel();  // state 2: unchanged
  EXPECT_EQ(block->status(), GCDBlock::kFinished);

  block->runInQueue(platform::MainQueue(), 0.01);  // the same block once more
  EXPECT_EQ(block->status(), GCDBlock::kScheduled);
  block->cancel();
  EXPECT_EQ(block->status(), GCDBlock::kCancelled);
  platform::RunMainQueueFor(40ms);
  EXPECT_EQ(runs, 1);
  // Once cancelled it never runs again, and says so rather than "scheduled".
  block->runInQueue(platform::MainQueue(), 0);
  EXPECT_EQ(block->status(), GCDBlock::kCancelled);
  platform::RunMainQueueFor(10ms);
  EXPECT_EQ(runs, 1);
}

TEST(GCDBlock, OwnerMayDropAScheduledBlock) {
  // On the main queue, which runs only when driven, the block cannot have run before the check.
  bool ran = false;
  std::weak_ptr<GCDBlock> watch;
  {
    auto block = GCDBlock::initWithBlock([&] { ran = true; });
    watch = block;
    block->runInQueue(platform::MainQueue(), 0.005);
  }
  EXPECT_FALSE(watch.expired());  // the queue holds it while it waits
  ASSERT_TRUE(RunMainUntil([&] { return ran; }));
  ASSERT_TRUE(RunMainUntil([&] { return watch.expired(); }));

  platform::QueueRef queue = platform::CreateSerialQueue("test.gcdblock");
  // A cancelled delayed block is let go at once, not when its hour has come.
  auto block = GCDBlock::initWithBlock([] {});
  watch = block;
  block->runInQueue(queue, 3600);
  block->cancel();
  block.reset();
  ASSERT_TRUE(WaitUntil([&] { return watch.expired(); }));
}

TEST(GCDBlock, CancelRacingARunLeavesAFinalState) {
  platform::QueueRef queue = platform::CreateSerialQueue("test.race");
  for (int i = 0; i < 200; ++i) {
    std::atomic<int> runs{0};
    auto block = GCDBlock::initWithBlock([&] { ++runs; });
    block->runInQueue(queue, 0);
    block->cancel();
    std::promise<void> drained;
    queue->Async([&] { drained.set_value(); });
    drained.get_future().wait();
    const auto status = block->status();
    // Either it was stopped in time (3, never ran) or it had started (ran, ends at 2).
    if (runs.load() == 0) {
      EXPECT_EQ(status, GCDBlock::kCancelled);
    } else {
      EXPECT_EQ(status, GCDBlock::kFinished);
    }
  }
}

TEST(CallOnceUntilComplete, OneRunPerPendingFlag) {
  bool flag = false;
  int runs = 0;
  NSTools::callOnceUntilComplete(flag, 0.005, [&] { ++runs; });
  EXPECT_TRUE(flag);
  NSTools::callOnceUntilComplete(flag, 0.0, [&] { runs += 100; });  // pending: ignored
  ASSERT_TRUE(RunMainUntil([&] { return !flag; }));
  EXPECT_EQ(runs, 1);
  platform::RunMainQueueFor(20ms);
  EXPECT_EQ(runs, 1);
  NSTools::callOnceUntilComplete(flag, 0.0, [&] { ++runs; });  // finished: schedules again
  ASSERT_TRUE(RunMainUntil([&] { return !flag; }));
  EXPECT_EQ(runs, 2);
  NSTools::callOnceUntilComplete(flag, 0.0, VoidBlock());
  EXPECT_FALSE(flag);
  // A throwing block still frees the flag.
  NSTools::callOnceUntilComplete(flag, 0.0, [] { throw 1; });
  ASSERT_TRUE(RunMainUntil([&] { return !flag; }));
}

TEST(ObjectBlocks, AssociatedBlockIsOnePerObject) {
  EXPECT_EQ(s_associated_block_name, u"AssociatedBlock");
  platform::Object object;
  platform::Object other;
  std::string log;
  NSTools::invokeAssociatedBlock(object);  // none: nothing
  NSTools::addAssociatedBlock(object, [&] { log += "1"; });
  NSTools::addAssociatedBlock(object, [&] { log += "2"; });
  NSTools::addAssociatedBlock(other, [&] { log += "o"; });
  NSTools::invokeAssociatedBlock(object);
  EXPECT_EQ(log, "2");
  NSTools::removeAssociatedBlock(object);
  NSTools::invokeAssociatedBlock(object);
  NSTools::invokeAssociatedBlock(other);
  EXPECT_EQ(log, "2o");
  // A value of another type under the key is not mistaken for a block.
  (void)object.SetAssociated(&s_associated_block_name, 5);
  NSTools::invokeAssociatedBlock(object);
  EXPECT_EQ(log, "2o");

  // A block may remove (and so release) itself while it runs.
  auto capture = std::make_shared<int>(0);
  std::weak_ptr<int> watch = capture;
  NSTools::addAssociatedBlock(object, [&object, capture] {
    NSTools::removeAssociatedBlock(object);
    ++*capture;
  });
  capture.reset();
  NSTools::invokeAssociatedBlock(object);
  EXPECT_TRUE(watch.expired());
}

TEST(ObjectBlocks, PerformBlockAndPerformBlockOnTimer) {
  platform::Object receiver;
  int runs = 0;
  NSTools::performBlock(receiver, [&] { ++runs; });
  NSTools::performBlock(receiver, VoidBlock());
  EXPECT_EQ(runs, 1);

  auto timer = platform::Timer::Schedule(
      platform::MainQueue(), 1ms, false,
      [&receiver](platform::Timer& t) { NSTools::performBlockOnTimer(receiver, t); },
      VoidBlock([&] { ++runs; }));
  ASSERT_NE(timer, nullptr);
  ASSERT_TRUE(RunMainUntil([&] { return runs == 2; }));
  // User information that is not a block: nothing happens.
  auto plain = platform::Timer::Schedule(
      platform::MainQueue(), 1ms, false,
      [&receiver](platform::Timer& t) { NSTools::performBlockOnTimer(receiver, t); }, 42);
  ASSERT_TRUE(RunMainUntil([&] { return !plain->IsValid(); }));
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace kelvane
