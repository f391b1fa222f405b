// SPDX-License-Identifier: Apache-2.0
// kelvane_soak: the library under load for a set time. Worker threads run the operations of
// soak/workloads.h in turn, each checking its own results, while the main thread runs the main
// queue (as an application's main thread does) and samples the resident memory every second.
// After the warm-up, and again at the end, every worker parks between operations and the
// memory is sampled at rest; the run fails when it grew by more than the limit between the two,
// or when any operation gave a wrong result. Exit 0 when all is well, 1 on any failure, 2 for
// a bad command line.
#include <malloc.h>
#include <stdlib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "kelvane/platform/dispatch/dispatch.h"
#include "kelvane/runtime/timer.h"
#include "soak/soak_support.h"
#include "soak/workloads.h"

namespace kelvane::soak {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kKinds = static_cast<int>(Kind::kCount);
// Failures printed one by one; the rest are only counted.
constexpr int kFailuresShown = 40;
// How long past its end a run may take to wind down before the watchdog stops it.
constexpr auto kWindDownLimit = 180s;

struct Counter {
  std::atomic<std::uint64_t> operations{0};
  std::atomic<std::uint64_t> failures{0};
  std::atomic<std::uint64_t> nanoseconds{0};  // spent in the operations, over all threads
};

class Run {
 public:
  Run(const Options& options, Workloads& work) : options_(options), work_(work) {
    current_ = std::make_unique<std::atomic<int>[]>(options.threads);
    for (int t = 0; t < options.threads; ++t) current_[t] = -1;
  }

  void Fail(Kind kind, int worker, const std::string& why) {
    counters_[static_cast<int>(kind)].failures++;
    std::lock_guard lock(print_mutex_);
    if (++shown_ <= kFailuresShown)
      std::fprintf(stderr, "FAIL %s (worker %d): %s\n", KindName(kind), worker, why.c_str());
  }

  void Count(Kind kind, Clock::duration spent = {}) {
    Counter& counter = counters_[static_cast<int>(kind)];
    counter.operations++;
    counter.nanoseconds += static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count());
  }

  void Worker(int worker) {
    std::mt19937_64 random(options_.seed + static_cast<std::uint64_t>(worker));
    const auto kinds = WorkerKinds();
    for (std::size_t n = static_cast<std::size_t>(worker);; ++n) {
      {
        std::unique_lock lock(pause_mutex_);
        if (pause_) {
          ++parked_;
          resumed_.notify_all();
          resumed_.wait(lock, [this] { return !pause_ || stop_; });
          --parked_;
        }
        if (stop_) break;
      }
      const Kind kind = kinds[n % kinds.size()];
      // The store's synced writes take tens of milliseconds: a worker visits the store's kinds
      // on every fourth round of the kinds only, so that about a quarter of the workers meet in
      // the store at a time and the others keep the rest of the library busy.
      const bool store_kind = kind == Kind::kSecret || kind == Kind::kSharedSecret;
      if (store_kind && (n / kinds.size()) % 4 != static_cast<std::size_t>(worker) % 4) continue;
      current_[worker] = static_cast<int>(kind);
      const auto began = Clock::now();
      const std::string why = work_.Run(kind, worker, random);
      Count(kind, Clock::now() - began);
      current_[worker] = -1;
      if (!why.empty()) Fail(kind, worker, why);
    }
    finished_++;
  }

  // Parks every worker between operations (running the main queue meanwhile, which their work
  // may wait for), calls `at_rest`, and lets them go on.
  template <typename F>
  void AtRest(F at_rest) {
    {
      std::lock_guard lock(pause_mutex_);
      pause_ = true;
    }
    for (;;) {
      {
        std::lock_guard lock(pause_mutex_);
        if (parked_ + finished_ == options_.threads) break;
      }
      platform::RunMainQueueFor(5ms);
    }
    at_rest();
    {
      std::lock_guard lock(pause_mutex_);
      pause_ = false;
    }
    resumed_.notify_all();
  }

  void Stop() {
    {
      std::lock_guard lock(pause_mutex_);
      stop_ = true;
    }
    resumed_.notify_all();
  }

  [[nodiscard]] bool AllFinished() const { return finished_ == options_.threads; }

  // What each worker is running, for the watchdog.
  [[nodiscard]] std::string Busy() const {
    std::string busy;
    for (int t = 0; t < options_.threads; ++t) {
      const int kind = current_[t];
      if (kind >= 0) busy += " " + std::to_string(t) + ":" + KindName(static_cast<Kind>(kind));
    }
    return busy.empty() ? " none" : busy;
  }

  std::array<Counter, kKinds>& counters() { return counters_; }

 private:
  const Options& options_;
  Workloads& work_;
  std::array<Counter, kKinds> counters_;
  std::unique_ptr<std::atomic<int>[]> current_;
  std::atomic<int> finished_{0};
  std::mutex print_mutex_;
  int shown_ = 0;
  std::mutex pause_mutex_;
  std::condition_variable resumed_;
  bool pause_ = false;
  bool stop_ = false;
  int parked_ = 0;
};

// A quiescent sample. With --trim the heap's free pages are handed back first, which tells
// growth that is only pages the allocator's per-thread arenas keep free (gone with the trim)
// from memory still in use (not); runs so far are flat without it, so it is off by default.
struct RestSample {
  std::uint64_t rss = 0;
  std::uint64_t heap = 0;
};

RestSample SampleAtRest(bool trim) {
  if (trim) ::malloc_trim(0);
  return {ResidentBytes().value_or(0), HeapInUseBytes()};
}

// Memory kept on purpose by --leak-kb-per-second, reachable to the end (not a leak to a
// sanitizer).
std::vector<std::unique_ptr<char[]>> g_kept;

void Keep(std::uint64_t kib) {
  if (kib == 0) return;
  const std::size_t bytes = kib * 1024;
  auto block = std::make_unique<char[]>(bytes);
  for (std::size_t i = 0; i < bytes; i += 4096) block[i] = 1;  // resident, not only reserved
  g_kept.push_back(std::move(block));
}

int Main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
      std::printf("%s", Usage().c_str());
      return 0;
    }
  }
  std::string error;
  const std::optional<Options> parsed =
      ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!parsed) {
    std::fprintf(stderr, "kelvane_soak: %s\n%s", error.c_str(), Usage().c_str());
    return 2;
  }
  const Options& options = *parsed;
  const double warmup = options.warmup.value_or(WarmupSeconds(options.seconds));
  const bool judged = options.seconds >= warmup + 1;

  // The secret store lives in a folder of the run's own; the default store's path points there
  // too, so nothing can reach the user's store.
  const char* tmp = std::getenv("TMPDIR");
  std::string folder =
      std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/kelvane-soak-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) {
    std::perror("kelvane_soak: mkdtemp");
    return 1;
  }
  const std::string store = folder + "/keychain.db";
  ::setenv("KELVANE_KEYCHAIN", store.c_str(), 1);
  std::unique_ptr<Workloads> work = Workloads::Make(store, &error);
  if (work == nullptr) {
    std::fprintf(stderr, "kelvane_soak: %s\n", error.c_str());
    std::filesystem::remove_all(folder);
    return 1;
  }

  std::printf("kelvane_soak: %.0f s, %d worker threads, seed %llu, warm-up %.0f s\n",
              options.seconds, options.threads, static_cast<unsigned long long>(options.seed),
              warmup);
  std::fflush(stdout);
  Run run(options, *work);
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(options.seconds));
  const auto warm_at =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(warmup));

  // The watchdog: a run that cannot wind down (a lost wake-up, a deadlock) says where each
  // worker is and ends with a failure instead of hanging.
  std::mutex watch_mutex;
  std::condition_variable watch_done;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock lock(watch_mutex);
    if (!watch_done.wait_until(lock, end + kWindDownLimit, [&] { return done; })) {
      std::fprintf(stderr, "kelvane_soak: still running %lld s past its end; busy:%s\n",
                   static_cast<long long>(kWindDownLimit / 1s), run.Busy().c_str());
      std::_Exit(1);
    }
  });

  std::vector<std::thread> workers;
  for (int t = 0; t < options.threads; ++t) workers.emplace_back([&run, t] { run.Worker(t); });

  std::uint64_t max_rss = ResidentBytes().value_or(0);
  std::vector<std::uint64_t> samples;  // one a second
  std::optional<RestSample> warm;
  bool once_flag = false;
  std::uint64_t once_asked = 0, once_ran = 0;
  auto next_sample = start + 1s;
  while (Clock::now() < end) {
    platform::RunMainQueueFor(10ms);
    // The main thread's own operation: a block that runs once until it completes.
    if (!once_flag) {
      ++once_asked;
      run.Count(Kind::kCallOnce);
    }
    NSTools::callOnceUntilComplete(once_flag, 0.002, [&once_ran] { ++once_ran; });
    if (Clock::now() >= next_sample) {
      next_sample += 1s;
      Keep(options.leak_kb_per_second);
      const std::uint64_t rss = ResidentBytes().value_or(0);
      max_rss = std::max(max_rss, rss);
      samples.push_back(rss);
    }
    if (judged && !warm && Clock::now() >= warm_at)
      run.AtRest([&] { warm = SampleAtRest(options.trim); });
  }
  // The final sample at rest as the first, the workers parked and their threads still there.
  RestSample final_sample;
  run.AtRest([&] { final_sample = SampleAtRest(options.trim); });
  run.Stop();
  while (!run.AllFinished()) platform::RunMainQueueFor(10ms);
  for (std::thread& worker : workers) worker.join();
  const auto wind_down = Clock::now() + 30s;
  while (once_flag && Clock::now() < wind_down) platform::RunMainQueueFor(10ms);
  if (once_flag || once_ran != once_asked)
    run.Fail(Kind::kCallOnce, -1,
             std::to_string(once_ran) + " runs for " + std::to_string(once_asked) + " requests");
  const bool store_whole = work->StoreIsWhole();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  {
    std::lock_guard lock(watch_mutex);
    done = true;
  }
  watch_done.notify_all();
  watchdog.join();

  // The summary.
  std::uint64_t operations = 0, failures = 0;
  std::printf("%-16s %12s %10s %12s\n", "kind", "operations", "failures", "ms each");
  for (int k = 0; k < kKinds; ++k) {
    const Counter& c = run.counters()[k];
    const double each = c.operations == 0 ? 0 : c.nanoseconds / 1e6 / c.operations;
    std::printf("%-16s %12llu %10llu %12.2f\n", KindName(static_cast<Kind>(k)),
                static_cast<unsigned long long>(c.operations.load()),
                static_cast<unsigned long long>(c.failures.load()), each);
    operations += c.operations;
    failures += c.failures;
  }
  std::printf("%-16s %12llu %10llu   (%.0f operations a second over %.1f s)\n", "total",
              static_cast<unsigned long long>(operations),
              static_cast<unsigned long long>(failures), operations / elapsed, elapsed);
  std::printf("secret store: %s\n", store_whole ? "integrity check passed" : "DAMAGED");
  bool memory_passed = true;
  // A sanitizer's shadow memory grows with every address first touched, and its allocator
  // keeps freed blocks its own way: what is measured then is not the library's.
  const bool sanitized = !std::string_view(KELVANE_SOAK_SANITIZE).empty();
  if (judged && warm) {
    const MemoryVerdict verdict =
        JudgeMemory(warm->rss, final_sample.rss, max_rss, options.max_growth_percent);
    memory_passed = verdict.passed || sanitized;
    std::printf(
        "memory: RSS at warm-up end %s, final %s, max %s, growth %+.2f%% (limit %.1f%%): %s\n",
        MiB(verdict.warm).c_str(), MiB(verdict.final).c_str(), MiB(verdict.max).c_str(),
        verdict.growth_percent, options.max_growth_percent,
        sanitized        ? "not judged under " KELVANE_SOAK_SANITIZE " sanitizer"
        : verdict.passed ? "flat"
                         : "FAIL, grew over the limit");
    std::printf("RSS by the second (MiB):");
    const std::size_t step = std::max<std::size_t>(1, samples.size() / 12);
    for (std::size_t i = 0; i < samples.size(); i += step)
      std::printf(" %zus %.1f", i + 1, samples[i] / 1048576.0);
    std::printf("\n");
    if (sanitized) {
      std::printf("heap in use: not read under a sanitizer\n");
    } else {
      std::printf("heap in use: at warm-up end %s, final %s%s\n", MiB(warm->heap).c_str(),
                  MiB(final_sample.heap).c_str(),
                  options.trim ? " (samples at rest, after malloc_trim)" : " (samples at rest)");
    }
  } else {
    std::printf(
        "memory: no verdict (the run is shorter than its warm-up of %.0f s and 1 s); "
        "RSS final %s, max %s\n",
        warmup, MiB(final_sample.rss).c_str(), MiB(std::max(max_rss, final_sample.rss)).c_str());
  }
  const bool passed = failures == 0 && store_whole && memory_passed;
  std::printf("result: %s\n", passed ? "PASS" : "FAIL");
  work.reset();
  std::filesystem::remove_all(folder);
  return passed ? 0 : 1;
}

}  // namespace
}  // namespace kelvane::soak

int main(int argc, char** argv) { return kelvane::soak::Main(argc, argv); }
