// kelvane/testing/child_process.h
//
// Tests that need a fresh process (process-wide state made for the first time, a changed network
// namespace, descriptor limits, the order of teardown at exit) run this test binary again as a
// child. The child's body runs from a static initialiser, before main, single-threaded, and
// reports through its exit status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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

// Runs the child named `name`; its exit status, 128 + the signal that ended it, or -1.
inline int RunChildProcess(const char* name) {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) return -1;
  self[length] = '\0';
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::setenv(kChildVariable, name, 1);
    char* const argv[] = {self, nullptr};
    ::execv(self, argv);
    std::_Exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace kelvane::testing
