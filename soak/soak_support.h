// SPDX-License-Identifier: Apache-2.0
// soak/soak_support.h
//
// What the soak program needs besides the work it runs: its options, the process's resident and
// heap memory, and the verdict on memory growth.
//
// The verdict compares two quiescent samples: one at the end of the warm-up, one at the end of
// the run, each taken while every worker is parked between operations, so that neither counts
// the buffers of operations in flight. Growth above the limit between them fails the run.
//
// Threads: everything here may be called from any thread; nothing keeps state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::soak {

// The options of a run.
struct Options {
  double seconds = 60;              // length of the run
  int threads = 8;                  // worker threads
  std::optional<double> warmup;     // seconds before the first sample; WarmupSeconds() if unset
  double max_growth_percent = 2.0;  // the verdict's limit
  std::uint64_t seed = 20261208;    // of the workers' random choices
  std::uint64_t leak_kb_per_second = 0;  // memory the run keeps on purpose: checks the verdict
  bool trim = false;                     // malloc_trim before each quiescent sample
};

// Parses the command line (without the program name). nullopt with `error` set for an unknown
// option, a missing or malformed value, or a value out of range (seconds and warm-up above 0 and
// finite, 1..256 threads, a limit of 0 or more).
[[nodiscard]] std::optional<Options> ParseOptions(const std::vector<std::string>& args,
                                                  std::string* error);

// The usage text of the program.
[[nodiscard]] std::string Usage();

// The warm-up of a run of `seconds`: the first 20% of it, at least 5 seconds.
[[nodiscard]] double WarmupSeconds(double seconds) noexcept;

// The process's resident memory in bytes (/proc/self/statm); nullopt when it cannot be read.
[[nodiscard]] std::optional<std::uint64_t> ResidentBytes() noexcept;

// Bytes the process's heap hands out now (allocated blocks and mapped chunks, mallinfo2). Under a
// sanitizer, whose allocator keeps its own books, this reads the unused C library heap.
[[nodiscard]] std::uint64_t HeapInUseBytes() noexcept;

// The verdict on memory from the two quiescent samples and the largest sample of the run.
struct MemoryVerdict {
  std::uint64_t warm = 0;     // RSS at the end of the warm-up
  std::uint64_t final = 0;    // RSS at the end
  std::uint64_t max = 0;      // largest RSS seen
  double growth_percent = 0;  // (final - warm) / warm x 100; negative when it shrank
  bool passed = false;        // growth_percent <= the limit
};

// Judges `final` against `warm`. REQUIRES: warm > 0.
[[nodiscard]] MemoryVerdict JudgeMemory(std::uint64_t warm, std::uint64_t final, std::uint64_t max,
                                        double limit_percent) noexcept;

// Bytes as "123.4 MiB".
[[nodiscard]] std::string MiB(std::uint64_t bytes);

}  // namespace kelvane::soak
