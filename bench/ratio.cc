// SPDX-License-Identifier: Apache-2.0
#include "bench/ratio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace kelvane::bench {
namespace {

struct Pair {
  std::string label, ours, peer, goal, counter;
};

std::vector<Pair>& Pairs() {
  static std::vector<Pair> pairs;
  return pairs;
}

// Prints as the console reporter does and keeps the time per iteration of every run: CPU time,
// or wall time for runs that ask for it (UseRealTime, UseManualTime).
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        // Runs that measure wall time (threads of their own at work) compare in wall time.
        times[run.benchmark_name()] =
            run.run_name.time_type.empty() ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
        for (const auto& [name, counter] : run.counters) {
          counters[run.benchmark_name() + "#" + name] = counter.value;
        }
      }
    }
  }
  std::map<std::string, double> times;
  std::map<std::string, double> counters;  // "run name#counter"
};

}  // namespace

void Ratio(std::string label, std::string ours, std::string peer, std::string goal,
           std::string counter) {
  Pairs().push_back(
      {std::move(label), std::move(ours), std::move(peer), std::move(goal), std::move(counter)});
}

int Main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf(
      "\nRatios (ours / peer, CPU or, for */real_time runs, wall time per iteration; below 1 = "
      "ours faster)\n");
  const char* ratios_path = std::getenv("KELVANE_BENCH_RATIOS");
  std::FILE* ratios = ratios_path != nullptr ? std::fopen(ratios_path, "a") : nullptr;
  const char* slash = std::strrchr(argv[0], '/');
  const char* program = slash != nullptr ? slash + 1 : argv[0];
  for (const Pair& pair : Pairs()) {
    const auto& values = pair.counter.empty() ? reporter.times : reporter.counters;
    const std::string suffix = pair.counter.empty() ? "" : "#" + pair.counter;
    const auto ours = values.find(pair.ours + suffix);
    const auto peer = values.find(pair.peer + suffix);
    if (ours == values.end() || peer == values.end() || peer->second <= 0) {
      std::printf("  %-48s not measured in this run\n", pair.label.c_str());
      continue;
    }
    const double ratio = ours->second / peer->second;
    if (pair.counter.empty()) {
      std::printf("  %-48s %6.3f  (throughput %.3f of the peer; goal %s)\n", pair.label.c_str(),
                  ratio, 1.0 / ratio, pair.goal.c_str());
    } else {
      std::printf("  %-48s %6.3f  (%s; goal %s)\n", pair.label.c_str(), ratio, pair.counter.c_str(),
                  pair.goal.c_str());
    }
    if (ratios != nullptr) {
      std::fprintf(ratios, "%s\t%s\t%.4f\t%s\n", program, pair.label.c_str(), ratio,
                   pair.goal.c_str());
    }
  }
  if (ratios != nullptr) std::fclose(ratios);
  return 0;
}

}  // namespace kelvane::bench
