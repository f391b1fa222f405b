// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/child_process.h
//
// Tests that need a fresh process (process-wide state made for the first time, a changed network
// namespace, descriptor limits, the order of teardown at exit) run this test binary again as a
// child. The child's body runs from a static initialiser, before main, single-threaded, and
// reports through its exit status.
//
// Loads of hostile input run in a child under limits (RunLimitedChild): when a bound in the code
// breaks, the child is stopped at the limit and the test fails, instead of the test process
// growing until the machine swaps.
#pragma once

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace kelvane::testing {

inline constexpr char kChildVariable[] = "KELVANE_TEST_CHILD";

// Use as `const bool k = ChildProcess("name", body);` at namespace scope: in the child started
// by RunChildProcess("name") it runs `body` and exits with its result through std::exit, so
// that static destructors run as at a normal exit.
template <typename Body>
bool ChildProcess(std::string_view name, Body body) {
  const char* chosen = std::getenv(kChildVariable);
  if (chosen != nullptr && name == chosen) std::exit(body());
  return false;
}

// What a child may use: its address space (under a sanitizer, which reserves terabytes of
// address space, its resident memory instead), and seconds of CPU and of wall-clock time (the
// child is killed after twice as many seconds on the clock; under a sanitizer, five times the
// seconds). 0 leaves a resource unlimited.
struct ChildLimits {
  std::uint64_t memory_bytes = 0;
  unsigned seconds = 0;
};

struct ChildOutcome {
  int status = -1;                   // exit status, 128 + the ending signal, or -1
  std::uint64_t peak_rss_bytes = 0;  // the child's largest resident set
  double cpu_seconds = 0;
};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kUnderSanitizer = true;
#else
inline constexpr bool kUnderSanitizer = false;
#endif
#else
inline constexpr bool kUnderSanitizer = false;
#endif

namespace internal {

// In the forked child, before exec: the limits survive the exec.
inline void ApplyLimits(const ChildLimits& limits) {
  if (limits.seconds > 0) {
    // The sanitizers run code several times slower (the thread sanitizer up to ten times): the
    // time a load may take grows with them, its memory bound does not.
    const rlim_t seconds = kUnderSanitizer ? limits.seconds * 5 : limits.seconds;
    const rlimit cpu{seconds, seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    ::alarm(2 * seconds);
  }
  if (limits.memory_bytes == 0) return;
  if constexpr (kUnderSanitizer) {
    // Past this resident size the sanitizer's allocator answers null, as a failed allocation
    // would under the address-space limit. Its shadow memory and the quarantine of freed blocks
    // stay resident, so the size is three times the bound: the bound itself is held by the
    // builds without a sanitizer.
    const std::string extra = ":allocator_may_return_null=1:soft_rss_limit_mb=" +
                              std::to_string(3 * (limits.memory_bytes >> 20));
    for (const char* variable : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
      const char* old = std::getenv(variable);
      ::setenv(variable, ((old != nullptr ? std::string(old) : std::string()) + extra).c_str(), 1);
    }
  } else {
    const rlimit memory{limits.memory_bytes, limits.memory_bytes};
    ::setrlimit(RLIMIT_AS, &memory);
  }
}

}  // namespace internal

// Runs the child named `name` under `limits`; its exit status, 128 + the signal that ended it,
// or -1, with what it used.
inline ChildOutcome RunLimitedChild(const char* name, const ChildLimits& limits) {
  ChildOutcome outcome;
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) return outcome;
  self[length] = '\0';
  const pid_t child = ::fork();
  if (child < 0) return outcome;
  if (child == 0) {
    ::setenv(kChildVariable, name, 1);
    internal::ApplyLimits(limits);
    char* const argv[] = {self, nullptr};
    ::execv(self, argv);
    std::_Exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) return outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  outcome.peak_rss_bytes = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
  outcome.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return outcome;
}

// Runs the child named `name`; its exit status, 128 + the signal that ended it, or -1.
inline int RunChildProcess(const char* name) { return RunLimitedChild(name, {}).status; }

}  // namespace kelvane::testing
