// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/save_faults.h
//
// Two ways a save can go wrong, for every save path alike.
//
// WalkSaveFaults: a disk that fails. For each kind of fault the walk makes the 1st, 2nd, ... Nth
// file call of the save fail (kelvane/platform/core/internal/file_calls.h) until the save makes
// fewer than N calls. After every run: a save that reports success left the new content; one that
// fails says why and left the old content; a save whose disk said "no space" or "I/O error" did
// not report success (unless the path keeps it elsewhere, see SavePath); and the folder holds
// exactly the files it held before.
//
// KillSaves: a process that dies. A child saves generation after generation and reports each one
// that returned on a pipe; it is killed with SIGKILL at a random moment, many times. After each
// kill the content must be that of the last generation reported or the one after it (the save in
// flight may have landed), never anything else.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "kelvane/platform/core/internal/file_calls.h"
#include "kelvane/platform/core/result.h"

namespace kelvane::testing {

// One save path: how to put the old content in place, save the new, and see what a reader finds.
struct SavePath {
  std::string name;
  std::function<void()> prepare;           // puts the old content in place, no fault armed
  std::function<platform::Status()> save;  // saves the new content
  std::function<std::string()> content;    // what a reader now finds, as text to compare
  std::string before = {};                 // content() after prepare()
  std::string after = {};                  // content() after a save that succeeded
  // When set: after a disk fault a save may still report success if this holds (a store whose
  // log keeps what the fault stopped short of the file). Unset: such a success is a fault.
  std::function<bool()> kept_elsewhere = {};
  // When set: run after each run's own checks (does the path still save, reopen, ...).
  std::function<void()> after_each = {};
};

// What one fault kind did over its walk.
struct FaultWalk {
  unsigned runs = 0;       // saves run with the fault armed at call 1, 2, ...
  unsigned failed = 0;     // saves that reported a failure
  unsigned succeeded = 0;  // saves that reported success (a fault it recovered from)
};

// The names in `folder`.
inline std::set<std::string> Names(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// The fault as a report names it.
inline const char* FaultName(platform::internal::FileFault fault) {
  constexpr const char* kNames[] = {"no space", "I/O error", "interrupted", "short write"};
  const auto index = static_cast<std::size_t>(fault);
  return index < std::size(kNames) ? kNames[index] : "?";
}

// Walks `fault` over every call of `path`'s save, checking each run as the header says.
inline FaultWalk WalkSaveFaults(const SavePath& path, const std::filesystem::path& folder,
                                platform::internal::FileFault fault) {
  using platform::internal::ArmFileFault;
  FaultWalk walk;
  for (std::uint64_t at = 1; at < 10'000; ++at) {
    SCOPED_TRACE(path.name + ", " + FaultName(fault) + " at file call " + std::to_string(at));
    path.prepare();
    const std::set<std::string> names = Names(folder);
    EXPECT_EQ(path.content(), path.before) << "the old content was not put in place";
    ArmFileFault(at, fault);
    const platform::Status status = path.save();
    const bool met = platform::internal::FileFaultMet();
    ArmFileFault(0, fault);
    if (!met) {
      EXPECT_TRUE(status.ok()) << status.error().message;
      EXPECT_EQ(path.content(), path.after);
      return walk;
    }
    ++walk.runs;
    if (status.ok()) {
      ++walk.succeeded;
      EXPECT_EQ(path.content(), path.after);
      if (!path.kept_elsewhere || !path.kept_elsewhere()) {
        EXPECT_NE(fault, platform::internal::FileFault::kNoSpace)
            << "the full disk went unreported";
        EXPECT_NE(fault, platform::internal::FileFault::kIo) << "the I/O error went unreported";
      }
    } else {
      ++walk.failed;
      EXPECT_NE(status.error().message, "");
      EXPECT_EQ(path.content(), path.before);
    }
    EXPECT_EQ(Names(folder), names) << "files were left behind or lost";
    if (path.after_each) path.after_each();
    if (::testing::Test::HasFatalFailure()) return walk;
  }
  ADD_FAILURE() << path.name << ": the save never ran out of file calls";
  return walk;
}

// Kills per save path: a few dozen in the unit tests, as many as KELVANE_KILLS asks for in a soak.
inline unsigned KillsPerPath() {
  const char* asked = std::getenv("KELVANE_KILLS");
  return asked != nullptr ? static_cast<unsigned>(std::strtoul(asked, nullptr, 10)) : 40;
}

// What the kills of one path found.
struct KillOutcome {
  unsigned kills = 0;
  unsigned old_content = 0;  // the generation reported last
  unsigned new_content = 0;  // the generation in flight had landed
};

// Kills a child that runs `save(generation)` for generation 1, 2, ... `kills` times, each after a
// random wait of up to `max_wait`; before each child `prepare()` puts generation 0 in place.
// `content(generation)` is what a reader must find for it; `read()` what it finds.
inline KillOutcome KillSaves(const std::string& name, unsigned kills,
                             std::chrono::microseconds max_wait, unsigned seed,
                             const std::function<void()>& prepare,
                             const std::function<platform::Status(unsigned)>& save,
                             const std::function<std::string(unsigned)>& content,
                             const std::function<std::string()>& read) {
  KillOutcome outcome;
  std::mt19937 random(seed);
  for (unsigned kill = 0; kill < kills; ++kill) {
    SCOPED_TRACE(name + ", kill " + std::to_string(kill));
    prepare();
    int report[2];
    if (::pipe(report) != 0) {
      ADD_FAILURE() << "pipe";
      return outcome;
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(report[0]);
      for (unsigned generation = 1;; ++generation) {
        if (!save(generation).ok()) std::_Exit(3);
        if (::write(report[1], &generation, sizeof generation) != sizeof generation) std::_Exit(4);
      }
    }
    ::close(report[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (max_wait.count() + 1)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    unsigned last = 0;
    for (unsigned generation = 0; ::read(report[0], &generation, sizeof generation) ==
                                  static_cast<ssize_t>(sizeof generation);) {
      last = generation;
    }
    ::close(report[0]);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the saving child ended on its own: " << status;
    ++outcome.kills;
    const std::string found = read();
    if (found == content(last)) {
      ++outcome.old_content;
    } else {
      EXPECT_EQ(found, content(last + 1)) << "after generation " << last;
      ++outcome.new_content;
    }
  }
  return outcome;
}

}  // namespace kelvane::testing
