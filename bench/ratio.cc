// SPDX-License-Identifier: Apache-2.0
#include "bench/ratio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

namespace kelvane::bench {
namespace {

struct Pair {
  std::string label, ours, peer, goal;
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
      }
    }
  }
  std::map<std::string, double> times;
};

}  // namespace

void Ratio(std::string label, std::string ours, std::string peer, std::string goal) {
  Pairs().push_back({std::move(label), std::move(ours), std::move(peer), std::move(goal)});
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
  for (const Pair& pair : Pairs()) {
    const auto ours = reporter.times.find(pair.ours);
    const auto peer = reporter.times.find(pair.peer);
    if (ours == reporter.times.end() || peer == reporter.times.end() || peer->second <= 0) {
      std::printf("  %-48s not measured in this run\n", pair.label.c_str());
      continue;
    }
    const double ratio = ours->second / peer->second;
    std::printf("  %-48s %6.3f  (throughput %.3f of the peer; goal %s)\n", pair.label.c_str(),
                ratio, 1.0 / ratio, pair.goal.c_str());
  }
  return 0;
}

}  // namespace kelvane::bench
