// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <tuple>
#include <utility>

#include "kelvane/platform/core/clock.h"
#include "kelvane/runtime/internal/nanoseconds.h"
#include "kelvane/testing/main_queue.h"

namespace kelvane {
namespace {

using namespace std::chrono_literals;

TEST(GCDTimer, SecondsBecomeSaturatedNanosecondsBadArgumentsAreRefusedAndNoOwnerIsOutlived) {
  constexpr auto kMax = std::numeric_limits<int64_t>::max();
  // Truncated, not rounded; 9.3e9 s is just past the range and 9.2e9 s just inside; the next
  // to last row makes exactly 2^63 nanoseconds, the first value out of range.
  // clang-format off
  const std::pair<double, int64_t> cases[] = {
      {1.5, 1500000000}, {-0.25, -250000000}, {2.9999999999e-9, 2}, {std::nan(""), 0},
      {9.3e9, kMax}, {-1e300, std::numeric_limits<int64_t>::min()}, {9223372036.854775808, kMax},
      {9.2e9, 9200000000000000000}};
  // clang-format on
  for (const auto& [seconds, nanoseconds] : cases)
    EXPECT_EQ(internal::SecondsToNanoseconds(seconds).count(), nanoseconds) << seconds;

  // The timer: refused bad arguments, a restart on its first queue, no owner outlived.
  platform::ManualClock clock(platform::Clock::System().Now());  // StepMainQueue advances it
  platform::ScopedClock scoped(clock);
  platform::QueueRef main = platform::MainQueue();
  platform::QueueRef other = platform::CreateSerialQueue("test.other");
  auto timer = std::make_shared<GCDTimer>();
  int fires = 0;
  timer->Cancel();  // never started: nothing happens
  ASSERT_TRUE(timer->Start(3600, 3600, 0, main, [&] { ++fires; }));
  ASSERT_TRUE(testing::StepMainQueue(1h));
  // Refused, the running timer going on untouched: no interval (0, below or NaN), no queue, no
  // handler.
  for (const double interval : {0.0, -1.0, std::nan("")})
    EXPECT_FALSE(timer->Start(0, interval, 0, main, [] {}));
  EXPECT_EQ((std::tuple{timer->Start(0, 0.001, 0, nullptr, [] {}),
                        timer->Start(0, 0.001, 0, main, VoidBlock())}),
            std::tuple(false, false));
  EXPECT_EQ((std::tuple{testing::StepMainQueue(1h), fires}), std::tuple(true, 2));
  // Restarted with another queue and handler: new times and handler, still on the main queue.
  // That handler cancels the timer: from inside, Cancel returns at once and ends the timer.
  ASSERT_TRUE(timer->Start(60, 3600, 1, other, [&] {
    fires += main->IsCurrent() ? 10 : 1000;
    timer->Cancel();
  }));
  EXPECT_EQ((std::tuple{testing::StepMainQueue(1min), fires}), std::tuple(true, 12));
  EXPECT_EQ((std::tuple{testing::StepMainQueue(3h), fires}), std::tuple(true, 12));
  // After Cancel, the next start makes a new timer on the queue it is given.
  std::atomic<int> on_other{0};
  ASSERT_TRUE(timer->Start(0, 0.001, 0, other, [&] { on_other += other->IsCurrent() ? 1 : 100; }));
  ASSERT_TRUE(testing::WaitUntil([&] { return on_other.load() >= 2; }));
  timer.reset();  // cancels, waiting for a handler in progress
  EXPECT_LT(on_other.load(), 100);

  // No handler outlives an owner that cancels its timer, even one that runs meanwhile.
  struct Owner {
    std::atomic<int> ticks{0};
    std::shared_ptr<std::atomic<bool>> gone = std::make_shared<std::atomic<bool>>(false);
    GCDTimer timer;
    ~Owner() {
      timer.Cancel();
      *gone = true;
    }
  };
  platform::QueueRef queue = platform::CreateSerialQueue("test.owner");
  std::atomic<int> late{0};
  for (int i = 0; i < 200; ++i) {
    auto owner = std::make_unique<Owner>();
    Owner* raw = owner.get();
    ASSERT_TRUE(raw->timer.Start(0, 0.001, 0, queue, [raw, gone = raw->gone, &late] {
      ++raw->ticks;  // the owner's memory: freed already, were a handler to start late
      std::this_thread::yield();
      if (*gone) ++late;  // or to run on past the owner's end
    }));
    while (raw->ticks.load() == 0) std::this_thread::yield();
    owner.reset();  // most often while a handler runs
  }
  EXPECT_EQ((std::tuple{testing::DrainQueue(queue), late.load()}), std::tuple(true, 0));
}

TEST(GCDBlock, StatesFollowScheduleRunAndCancelAndTheToolsRunBlocksOncePerFlagObjectOrTimer) {
  platform::ManualClock clock(platform::Clock::System().Now());  // StepMainQueue advances it
  platform::ScopedClock scoped(clock);
  int runs = 0;
  auto block = GCDBlock::initWithBlock([&] { ++runs; });
  // An empty block makes none.
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GCDBlock::initWithBlock(VoidBlock()), nullptr);
  block->cancel();  // state 0: unchanged
  block->runInQueue(nullptr, 0);
  EXPECT_EQ(block->status(), GCDBlock::kCreated);
  block->runInQueue(platform::MainQueue(), -1.0);  // negative: at once
  EXPECT_EQ(block->status(), GCDBlock::kScheduled);
  ASSERT_TRUE(testing::RunMainUntil([&] { return block->status() == GCDBlock::kFinished; }));
  block->cancel();  // state 2: unchanged
  EXPECT_EQ(block->status(), GCDBlock::kFinished);

  // The same block once more, delayed; its owner lets go and the queue keeps it meanwhile.
  std::weak_ptr<GCDBlock> watch = block;
  block->runInQueue(platform::MainQueue(), 60);
  block.reset();
  ASSERT_NE(block = watch.lock(), nullptr);  // taken back from the queue, which held it
  EXPECT_EQ((std::tuple{testing::StepMainQueue(1min), runs}), std::tuple(true, 2));
  block->runInQueue(platform::MainQueue(), 60);
  block->cancel();
  EXPECT_EQ(block->status(), GCDBlock::kCancelled);
  // Once cancelled it never runs again, and says so rather than "scheduled".
  block->runInQueue(platform::MainQueue(), 0);
  EXPECT_EQ(block->status(), GCDBlock::kCancelled);
  block.reset();
  EXPECT_EQ((std::tuple{testing::StepMainQueue(2min), watch.expired(), runs}),
            std::tuple(true, true, 2));

  // One run per pending flag.
  runs = 0;
  bool flag = false;
  NSTools::callOnceUntilComplete(flag, 0.005, [&] { ++runs; });
  EXPECT_TRUE(flag);
  NSTools::callOnceUntilComplete(flag, 0.0, [&] { runs += 100; });  // pending: ignored
  EXPECT_EQ((std::tuple{testing::StepMainQueue(1h), flag}), std::tuple(true, false));
  NSTools::callOnceUntilComplete(flag, 0.0, [&] { ++runs; });  // finished: schedules again
  EXPECT_EQ((std::tuple{testing::RunMainUntil([&] { return !flag; }), runs}), std::tuple(true, 2));
  NSTools::callOnceUntilComplete(flag, 0.0, VoidBlock());
  EXPECT_FALSE(flag);
  NSTools::callOnceUntilComplete(flag, 0.0, [] { throw 1; });  // throwing still frees the flag
  ASSERT_TRUE(testing::RunMainUntil([&] { return !flag; }));

  // The object blocks: one associated block per object, and blocks performed by timers.
  platform::Object object, other;
  std::string log;
  NSTools::invokeAssociatedBlock(object);  // none: nothing
  for (const char c : {'1', '2'}) NSTools::addAssociatedBlock(object, [&log, c] { log += c; });
  NSTools::addAssociatedBlock(other, [&] { log += "o"; });
  NSTools::invokeAssociatedBlock(object);
  NSTools::removeAssociatedBlock(object);
  NSTools::invokeAssociatedBlock(object);
  NSTools::invokeAssociatedBlock(other);
  // A value of another type under the key is not mistaken for a block.
  (void)object.SetAssociated(&s_associated_block_name, 5);
  NSTools::invokeAssociatedBlock(object);
  EXPECT_EQ(log, "2o");

  // A block may remove (and so release) itself while it runs.
  auto capture = std::make_shared<int>(0);
  std::weak_ptr<int> released = capture;
  NSTools::addAssociatedBlock(object, [&object, capture = std::move(capture)] {
    NSTools::removeAssociatedBlock(object);
    ++*capture;  // still alive: the running call holds the block
  });
  NSTools::invokeAssociatedBlock(object);
  EXPECT_TRUE(released.expired());

  // A timer's user information: a block runs, anything else is ignored.
  runs = 0;
  auto perform = [&object](platform::Timer& t) { NSTools::performBlockOnTimer(object, t); };
  auto timed = platform::Timer::Schedule(platform::MainQueue(), 1ms, false, perform,
                                         VoidBlock([&] { ++runs; }));
  auto plain = platform::Timer::Schedule(platform::MainQueue(), 1ms, false, perform, 42);
  ASSERT_TRUE(testing::StepMainQueue(1ms));
  EXPECT_EQ((std::tuple{plain->IsValid(), runs}), std::tuple(false, 1));
}

}  // namespace
}  // namespace kelvane
