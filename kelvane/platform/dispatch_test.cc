#include "kelvane/platform/dispatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "kelvane/testing/main_queue.h"

namespace kelvane::platform {
namespace {

using namespace std::chrono_literals;

using testing::RunMainUntil;

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
  ASSERT_TRUE(main->After(30ms, [&] { late_ran = true; }));
  EXPECT_EQ(wakeups.load(), 2);
  auto deadline = MainQueueNextDeadline();
  ASSERT_TRUE(deadline.has_value());
  EXPECT_GE(*deadline, submitted + 30ms);
  PollMainQueue();
  EXPECT_FALSE(late_ran);
  ASSERT_TRUE(RunMainUntil([&] { return late_ran; }));
  EXPECT_GE(DispatchClock::now() - submitted, 30ms);
  EXPECT_FALSE(MainQueueNextDeadline().has_value());
  SetMainQueueWakeup(nullptr);
  ASSERT_TRUE(main->Async([] {}));
  EXPECT_EQ(wakeups.load(), 2);
  DrainMain();
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

TEST(TimerSource, FiresRepeatedlyAndObeysSuspendResumeAndCancel) {
  QueueRef queue = CreateSerialQueue("test.timer");
  auto source = TimerSource::Create(queue);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(TimerSource::Create(nullptr), nullptr);
  std::atomic<int> fires{0};
  std::atomic<int> off_queue{0};
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  source->SetEventHandler([&, token] {
    if (!queue->IsCurrent()) ++off_queue;
    ++fires;
  });
  token.reset();
  source->SetTimer(0ms, 2ms, 0ms);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(fires.load(), 0);  // created suspended
  source->Resume();
  auto wait_for = [&](int n) {
    const auto end = DispatchClock::now() + 10s;
    while (fires.load() < n && DispatchClock::now() < end) std::this_thread::sleep_for(1ms);
    return fires.load() >= n;
  };
  ASSERT_TRUE(wait_for(3));
  source->Suspend();
  source->Suspend();  // nested
  // A fire already under way may still land; after that the count stays put.
  std::this_thread::sleep_for(10ms);
  const int held = fires.load();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(fires.load(), held);
  source->Resume();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(fires.load(), held);  // still suspended once
  source->Resume();
  ASSERT_TRUE(wait_for(held + 3));
  source->Cancel();
  EXPECT_TRUE(source->IsCancelled());
  std::this_thread::sleep_for(10ms);
  const int final_count = fires.load();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(fires.load(), final_count);
  EXPECT_TRUE(watch.expired());  // the handler was released
  EXPECT_EQ(off_queue.load(), 0);
}

TEST(TimerSource, ZeroIntervalFiresOnceAndReprogrammingMovesTheFirstFire) {
  DrainMain();
  auto source = TimerSource::Create(MainQueue());
  int fires = 0;
  source->SetEventHandler([&] { ++fires; });
  source->SetTimer(1h, 0ms, 0ms);
  source->Resume();
  RunMainQueueFor(20ms);
  EXPECT_EQ(fires, 0);
  source->SetTimer(5ms, 0ms, 0ms);  // reprogrammed: now soon
  ASSERT_TRUE(RunMainUntil([&] { return fires == 1; }));
  RunMainQueueFor(30ms);
  EXPECT_EQ(fires, 1);
  source->Cancel();
  DrainMain();
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
  const auto end = DispatchClock::now() + 10s;
  while (bytes.load() < 3 && DispatchClock::now() < end) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(bytes.load(), 3);
  source->Cancel();
  std::this_thread::sleep_for(10ms);
  ASSERT_EQ(::write(fds[1], "de", 2), 2);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(bytes.load(), 3);
  source.reset();
  ::close(fds[0]);  // still the caller's descriptor: the source watched a duplicate
  ::close(fds[1]);
}

}  // namespace
}  // namespace kelvane::platform
