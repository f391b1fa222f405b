// SPDX-License-Identifier: Apache-2.0
// Runtime services against plain code: delivery through the notification hub against a loop
// over std::function, a deferred block against a raw asio::post, and timer lateness.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/platform/dispatch/dispatch.h"
#include "kelvane/runtime/notice.h"
#include "kelvane/runtime/timer.h"

namespace {

using namespace std::chrono_literals;

constexpr int kListeners = 1000;

void BM_DeliverOurs(benchmark::State& state) {
  kelvane::CNotice hub;
  std::vector<char> subscribers(kListeners);
  long sum = 0;
  for (int i = 0; i < kListeners; ++i) {
    hub.Subscribe(1, &subscribers[i],
                  kelvane::platform::Block::Of<void(int)>([&sum](int v) { sum += v; }));
  }
  int value = 0;
  for (auto _ : state) {
    hub.Post<int>(1, ++value);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kListeners);
}
BENCHMARK(BM_DeliverOurs);

void BM_DeliverVector(benchmark::State& state) {
  std::vector<std::function<void(int)>> listeners;
  long sum = 0;
  for (int i = 0; i < kListeners; ++i) listeners.emplace_back([&sum](int v) { sum += v; });
  int value = 0;
  for (auto _ : state) {
    ++value;
    for (const auto& f : listeners) f(value);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kListeners);
}
BENCHMARK(BM_DeliverVector);

// Submit-to-run on one thread: schedule on the main queue, then run what is ready.
void BM_GCDBlockMainQueue(benchmark::State& state) {
  long runs = 0;
  auto block = kelvane::GCDBlock::initWithBlock([&runs] { ++runs; });
  auto main = kelvane::platform::MainQueue();
  for (auto _ : state) {
    block->runInQueue(main, 0);
    kelvane::platform::PollMainQueue();
  }
  if (runs != state.iterations()) state.SkipWithError("a block did not run");
}
BENCHMARK(BM_GCDBlockMainQueue);

void BM_AsioPostMainQueue(benchmark::State& state) {
  asio::io_context context(1);
  long runs = 0;
  for (auto _ : state) {
    asio::post(context, [&runs] { ++runs; });
    context.poll();
    context.restart();
  }
  if (runs != state.iterations()) state.SkipWithError("a handler did not run");
}
BENCHMARK(BM_AsioPostMainQueue);

// The same across threads: a serial queue on the pool against asio::post to a strand of an
// io_context run by two threads, as the pool is; the caller spins until the block has run.
void BM_GCDBlockSerialQueue(benchmark::State& state) {
  std::atomic<long> runs{0};
  auto block = kelvane::GCDBlock::initWithBlock([&runs] { runs.fetch_add(1); });
  auto queue = kelvane::platform::CreateSerialQueue("bench.serial");
  long expected = 0;
  for (auto _ : state) {
    block->runInQueue(queue, 0);
    ++expected;
    while (runs.load(std::memory_order_acquire) != expected) {
    }
  }
}
BENCHMARK(BM_GCDBlockSerialQueue)->UseRealTime();

void BM_AsioPostStrand(benchmark::State& state) {
  asio::io_context context;
  auto guard = asio::make_work_guard(context);
  std::thread runner([&context] { context.run(); });
  std::thread second([&context] { context.run(); });
  auto strand = asio::make_strand(context);
  std::atomic<long> runs{0};
  long expected = 0;
  for (auto _ : state) {
    asio::post(strand, [&runs] { runs.fetch_add(1); });
    ++expected;
    while (runs.load(std::memory_order_acquire) != expected) {
    }
  }
  guard.reset();
  context.stop();
  runner.join();
  second.join();
}
BENCHMARK(BM_AsioPostStrand)->UseRealTime();

// Fires of a 10 ms GCDTimer over 3 s on a serial queue; lateness against the ideal grid.
void BM_TimerLateness(benchmark::State& state) {
  for (auto _ : state) {
    std::mutex mutex;
    std::vector<double> lateness_us;
    auto timer = std::make_shared<kelvane::GCDTimer>();
    auto queue = kelvane::platform::CreateSerialQueue("bench.timer");
    const auto start = std::chrono::steady_clock::now();
    long tick = 0;
    if (!timer->Start(0.010, 0.010, 0, queue, [&] {
          const auto now = std::chrono::steady_clock::now();
          ++tick;
          // The fire this one stands for: the first grid point not after now (missed ones
          // are skipped by the timer).
          const auto since = now - start;
          const long point = std::max<long>(1, since / 10ms);
          const auto due = start + point * 10ms;
          std::lock_guard lock(mutex);
          lateness_us.push_back(std::chrono::duration<double, std::micro>(now - due).count());
        })) {
      state.SkipWithError("the timer did not start");
      return;
    }
    std::this_thread::sleep_for(3s);
    timer->Cancel();
    std::lock_guard lock(mutex);
    std::sort(lateness_us.begin(), lateness_us.end());
    if (lateness_us.empty()) {
      state.SkipWithError("the timer never fired");
      return;
    }
    state.counters["fires"] = static_cast<double>(lateness_us.size());
    state.counters["median_us"] = lateness_us[lateness_us.size() / 2];
    state.counters["p99_us"] = lateness_us[lateness_us.size() * 99 / 100];
    state.counters["max_us"] = lateness_us.back();
  }
}
BENCHMARK(BM_TimerLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

const bool kRatios = [] {
  kelvane::bench::Ratio("Deliver to 1000 listeners vs loop over std::function", "BM_DeliverOurs",
                        "BM_DeliverVector", "report");
  kelvane::bench::Ratio("GCDBlock on the main queue vs asio::post + poll", "BM_GCDBlockMainQueue",
                        "BM_AsioPostMainQueue", "<= 1.5");
  kelvane::bench::Ratio("GCDBlock on a serial queue vs asio::post to a strand",
                        "BM_GCDBlockSerialQueue/real_time", "BM_AsioPostStrand/real_time",
                        "<= 1.5");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
