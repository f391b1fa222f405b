// SPDX-License-Identifier: Apache-2.0
// bench/ratio.h
//
// Every benchmark program measures Kelvane and a peer in one run. Ratio() names the pair; after
// the run, Main() prints one line per pair with ours / peer in time per iteration (below 1 means
// ours is faster) and the goal the pair is held to.
#pragma once

#include <string>

namespace kelvane::bench {

// `ours` and `peer` are full benchmark run names as Google Benchmark prints them
// ("BM_SearchOurs/1000000"). `goal` is free text ("<= 1.2").
// With `counter`, the pair compares that user counter of the two runs (a peak memory, say)
// instead of their time.
void Ratio(std::string label, std::string ours, std::string peer, std::string goal,
           std::string counter = {});

// Runs the registered benchmarks with the command-line flags, then prints the ratios.
int Main(int argc, char** argv);

}  // namespace kelvane::bench

#define KELVANE_BENCH_MAIN() \
  int main(int argc, char** argv) { return kelvane::bench::Main(argc, argv); }
