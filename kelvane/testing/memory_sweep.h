// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/memory_sweep.h
//
// Test helper: runs one operation under shrinking address-space budgets, to prove that running
// out of memory ends in a refusal with a reason, never in a signal, a wrong result or a leak.
//
// The parent starts this test binary again as a child (RunLimitedChild, child_process.h) for one
// row. The child makes the row's input (reads the files the parent wrote, builds the objects the
// operation takes), then forks one process per step, so that every step starts from the same
// state and bites the operation rather than the making of its input. A step limits its address
// space to what is mapped at the fork plus its budget and runs the operation three times: the
// first fills the caches, and the C library's bytes in use after the second and the third must be
// equal, as a leak grows them per run (where they grew, up to five more runs tell a leak, which
// grows them on each, from a first use on a worker thread). The first step has no limit: it gives
// the right result's hash and how much address space the operation took, from which the budgets of
// the other steps are cut, from all of it down to 64 KiB.
//
// The operation must not allocate outside the library call it makes: a hash is taken of the
// pixels or bytes in place, and a reason is copied into a fixed buffer.
//
// Threads: the child side runs before main and must still be single-threaded when its input is
// made, as it forks. The parent side changes the environment while it starts a child: call it
// from one thread.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/scoped_environment.h"

namespace kelvane::testing {

// How a step ended: these, or 128 + the signal that ended it.
inline constexpr int kSweepRight = 0;    // every run gave the right result
inline constexpr int kSweepRefused = 1;  // some runs were refused with a reason, the rest right
inline constexpr int kSweepLeaked = 2;   // bytes in use grew from the second run to the third
inline constexpr int kSweepWrong = 3;    // a result other than the unlimited one, or no reason
inline constexpr int kSweepNoInput = 4;  // the row is unknown or its input could not be made

inline constexpr char kSweepRowVariable[] = "KELVANE_SWEEP_ROW";
inline constexpr char kSweepDirVariable[] = "KELVANE_SWEEP_DIR";
inline constexpr char kSweepReportVariable[] = "KELVANE_SWEEP_REPORT";

// Limited steps after the unlimited one: budgets from what the unlimited run took down to 1/64
// of it, then 64 KiB.
inline constexpr int kSweepSteps = 11;

// One run of an operation: its result's hash, or the reason it was refused.
struct SweepRun {
  bool ok = false;
  std::uint64_t hash = 0;
  char reason[120] = {};

  [[nodiscard]] static SweepRun Right(std::uint64_t hash) {
    SweepRun run;
    run.ok = true;
    run.hash = hash;
    return run;
  }
  // Copies at most the buffer's size of `reason`, without allocating.
  [[nodiscard]] static SweepRun Refused(std::string_view reason) {
    SweepRun run;
    const std::size_t n = std::min(reason.size(), sizeof(run.reason) - 1);
    std::memcpy(run.reason, reason.data(), n);
    std::replace(run.reason, run.reason + n, '\n', ' ');
    return run;
  }
};

// FNV-1a over bytes, continuing from `hash`.
inline constexpr std::uint64_t kHashStart = 0xCBF29CE484222325ull;
inline std::uint64_t HashBytes(std::uint64_t hash, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
  return hash;
}

// What one step gave: the step sends it through a pipe and the child writes it whole to the
// report, so that neither side allocates.
struct SweepStep {
  std::uint64_t budget = 0;  // bytes of address space over `mapped`; 0 for no limit
  int status = kSweepWrong;  // a status above, or 128 + the signal that ended the step
  std::uint64_t hash = 0;    // the result's hash (the first right run's)
  std::int64_t leaked = 0;   // bytes in use gained from the second run to the third
  std::uint64_t mapped = 0;  // the address space when the step began
  std::uint64_t peak = 0;    // the largest address space it reached
  char reason[120] = {};     // the first refusal's reason, or what was wrong
};

namespace internal {

// A field of /proc/self/status in bytes ("VmSize", "VmPeak"), read without allocating; 0 when
// it cannot be read. A count ("Threads") comes back 1024 times over, which compares as well.
inline std::uint64_t StatusBytes(const char* field) {
  char text[8192];
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t length = ::read(fd, text, sizeof(text) - 1);
  ::close(fd);
  if (length <= 0) return 0;
  text[length] = '\0';
  char key[32];
  std::snprintf(key, sizeof(key), "\n%s:", field);
  const char* at = std::strstr(text, key);
  if (at == nullptr) return 0;
  return std::strtoull(at + std::strlen(key), nullptr, 10) * 1024;
}

// The C library's bytes handed out: small blocks and the blocks it maps on their own.
inline std::uint64_t BytesInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Threads of this process; forking is only sound with one.
inline int ThreadCount() {
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(tasks)) count += entry->d_name[0] != '.';
  ::closedir(tasks);
  return count;
}

// In the forked step: the limit, three runs, the record.
template <typename Op>
SweepStep RunStep(Op& op, std::uint64_t mapped, std::uint64_t budget,
                  std::optional<std::uint64_t> expect) {
  if (budget > 0) {
    const rlimit limit{mapped + budget, mapped + budget};
    ::setrlimit(RLIMIT_AS, &limit);
  }
  // A first use on a worker thread of the pool may keep a little for the thread on any run, once
  // per thread; a leak keeps some on every run. So when the third run grew the bytes in use, up
  // to five more runs tell which: only growth on each of them is a leak. A run during which the
  // pool started or ended a thread (a busy machine makes it grow) tells nothing: the thread's
  // own blocks come and go with it, so it counts as no growth.
  constexpr int kMaxRuns = 8;
  SweepRun runs[kMaxRuns];
  std::uint64_t in_use[kMaxRuns] = {};
  std::uint64_t threads[kMaxRuns] = {};
  const auto grew = [&](int i) {
    return threads[i] == threads[i - 1] && in_use[i] > in_use[i - 1];
  };
  int count = 0;
  while (count < kMaxRuns && (count < 3 || grew(count - 1))) {
    runs[count] = op();
    in_use[count] = BytesInUse();
    // Work an operation handed to the pool and finished itself (a helper that found nothing left
    // to do) holds a few blocks until a worker runs it, which on a busy machine can be several
    // runs later: growth is read again after giving the workers up to 20 ms to catch up.
    for (int wait = 0; wait < 20 && count >= 2 && in_use[count] > in_use[count - 1]; ++wait) {
      ::usleep(1000);
      in_use[count] = BytesInUse();
    }
    threads[count] = StatusBytes("Threads");
    ++count;
  }
  SweepStep record;
  record.status = kSweepRight;
  record.peak = StatusBytes("VmPeak");
  const char* wrong = nullptr;
  const char* reason = nullptr;
  // Unlimited, the runs must agree with each other; limited, with the unlimited run.
  std::optional<std::uint64_t> want = expect;
  for (int i = 0; i < count; ++i) {
    const SweepRun& run = runs[i];
    if (run.ok) {
      if (!want) want = run.hash;
      if (run.hash != *want) wrong = "a different result";
      record.hash = run.hash;
    } else if (run.reason[0] == '\0') {
      wrong = "a refusal without a reason";
    } else {
      record.status = kSweepRefused;
      if (reason == nullptr) reason = run.reason;
    }
  }
  for (int i = 2; i < count; ++i) {
    const auto grown = grew(i) ? static_cast<std::int64_t>(in_use[i] - in_use[i - 1]) : 0;
    record.leaked = i == 2 ? grown : std::min(record.leaked, grown);
  }
  if (record.leaked > 0) record.status = kSweepLeaked;
  if (wrong != nullptr) {
    record.status = kSweepWrong;
    reason = wrong;
  }
  if (reason != nullptr) std::snprintf(record.reason, sizeof(record.reason), "%s", reason);
  return record;
}

// Forks the step and waits for it.
template <typename Op>
SweepStep ForkStepOnce(Op& op, std::uint64_t mapped, std::uint64_t budget,
                       std::optional<std::uint64_t> expect) {
  SweepStep record;
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) return record;
  const pid_t step = ::fork();
  if (step == 0) {
    ::close(channel[0]);
    ::alarm(60);
    const SweepStep mine = RunStep(op, mapped, budget, expect);
    (void)!::write(channel[1], &mine, sizeof(mine));
    std::_Exit(mine.status);
  }
  ::close(channel[1]);
  const bool read_whole =
      step > 0 && ::read(channel[0], &record, sizeof(record)) == ssize_t(sizeof(record));
  ::close(channel[0]);
  int status = 0;
  if (step < 0 || ::waitpid(step, &status, 0) != step) return record;
  // The step's own ending wins over its record: a step that sent its record and then died died.
  if (!read_whole || !WIFEXITED(status) || WEXITSTATUS(status) != record.status) {
    record.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    if (!read_whole) record.reason[0] = '\0';
  }
  return record;
}

// Forks the step, waits for it and writes what it gave to `report`. A step that leaked runs once
// more, and counts as leaking only when it leaks again: under a limit the C library's arenas and
// the pool's threads do not land the same way every time, and now and then one step keeps a few
// hundred bytes a run that the next fork of the same step does not.
template <typename Op>
SweepStep ForkStep(Op& op, int report, std::uint64_t mapped, std::uint64_t budget,
                   std::optional<std::uint64_t> expect) {
  SweepStep record = ForkStepOnce(op, mapped, budget, expect);
  if (record.status == kSweepLeaked) record = ForkStepOnce(op, mapped, budget, expect);
  record.budget = budget;
  record.mapped = mapped;
  (void)!::write(report, &record, sizeof(record));
  return record;
}

}  // namespace internal

// The child's side, once the row's input is made: the unlimited step, then kSweepSteps limited
// ones, each step's outcome written to the report file. kSweepNoInput when the sweep cannot run
// (no report file, or a thread already running, which a fork would lose); otherwise 0, the
// outcomes being in the report.
template <typename Op>
int RunSweep(Op op) {
  const char* path = std::getenv(kSweepReportVariable);
  if (path == nullptr || internal::ThreadCount() != 1) return kSweepNoInput;
  const int report = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (report < 0) return kSweepNoInput;
  const std::uint64_t mapped = internal::StatusBytes("VmSize");
  const SweepStep unlimited = internal::ForkStep(op, report, mapped, 0, std::nullopt);
  if (unlimited.status == kSweepRight) {
    const std::uint64_t need = std::max(unlimited.peak, mapped) - mapped;
    // Each budget 0.63 of the one before, from all of it to 1/64 of it, then 64 KiB: rows that
    // take a lot of address space for the worker pool's threads are swept through the picture's
    // own memory too.
    double budget = double(need);
    for (int step = 0; step < kSweepSteps; ++step) {
      const std::uint64_t bytes =
          step + 1 < kSweepSteps ? std::uint64_t(budget) : std::uint64_t{64} << 10;
      (void)internal::ForkStep(op, report, mapped, bytes, unlimited.hash);
      budget /= 1.587;
    }
  }
  ::close(report);
  return 0;
}

// The parent's side: the steps of `row` run by the child named `child`, its inputs in `dir`;
// the unlimited step first. Empty when the child could not run the sweep; `status` (when not
// null) gets the child's own exit status.
inline std::vector<SweepStep> RunSweepChild(const char* child, const std::string& row,
                                            const std::string& dir, int* status = nullptr) {
  const std::string report = dir + "/report-" + std::to_string(::getpid());
  // The C library keeps a few freed blocks of each small size per thread and counts them as in
  // use, which would read as a leak of a few hundred bytes per run until its slots are full.
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  const std::string no_cache =
      (tunables != nullptr && *tunables != '\0' ? std::string(tunables) + ":" : std::string()) +
      "glibc.malloc.tcache_count=0";
  ScopedEnvironment environment({{"GLIBC_TUNABLES", no_cache.c_str()},
                                 {kSweepRowVariable, row.c_str()},
                                 {kSweepDirVariable, dir.c_str()},
                                 {kSweepReportVariable, report.c_str()}});
  ::unlink(report.c_str());
  const int ended = RunLimitedChild(child, {.memory_bytes = 0, .seconds = 120}).status;
  if (status != nullptr) *status = ended;
  std::vector<SweepStep> steps;
  if (ended != 0) return steps;
  std::ifstream in(report, std::ios::binary);
  SweepStep step;
  while (in.read(reinterpret_cast<char*>(&step), sizeof(step))) steps.push_back(step);
  return steps;
}

}  // namespace kelvane::testing
