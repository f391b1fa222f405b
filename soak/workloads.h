// SPDX-License-Identifier: Apache-2.0
// soak/workloads.h
//
// The operations the soak program runs over and over: the library's long-lived machinery
// (queues, timers, notices, the colour cache, the secret store, picture work), each operation
// a small whole use that checks its own results against what the contracts promise or against
// a reference made once before the workers start.
//
// Ownership: Workloads owns the reference pictures and the secret store it opened; the store
// stays the process's default until the object goes.
// Threads: Run() may be called from any number of threads at once. Operations of kind
// kMainQueue wait for the main queue, so the main thread must keep running it meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <string>

namespace kelvane::soak {

// The kinds of operation, in the order the summary lists them.
enum class Kind : int {
  kSerialQueue,    // blocks on a new serial queue run in order, a delayed one last
  kGlobalGroup,    // a group of blocks on the global queue, one applying inside
  kApply,          // ApplyConcurrently, flat and nested
  kDispatchBlock,  // a delayed block cancelled (released at once), another run
  kTimerSource,    // a timer source resumed, suspended, resumed and cancelled
  kGcdTimer,       // GCDTimer started and cancelled: no fire after Cancel returns
  kGcdBlock,       // GCDBlock scheduled and perhaps cancelled: state and run agree
  kTimerBlock,     // platform::Timer with performBlockOnTimer, and associated blocks
  kMainQueue,      // a GCDBlock on the main queue, run by the main thread
  kNotice,         // CNotice: subscribe, post, a listener leaving during delivery, unsubscribe
  kColourCache,    // Create::ColorForRGB and ColorDynamic, values against their keys
  kPalette,        // palette roles resolved light and dark against the first reading
  kSecret,         // SKeychain save, replace, load, delete of the worker's own names
  kSharedSecret,   // the same names from every worker: whatever is read is whole
  kPng,            // PNG encode and decode against the reference
  kJpeg,           // JPEG encode, decode and reduced decode, compressToJPEG
  kResize,         // resizedImage reduced, and enlarged in bands on the pool
  kAvatar,         // initials and picture avatars
  kEffect,         // blur with tint, saturation and mask; the light effect
  kCallOnce,       // the main thread: NSTools::callOnceUntilComplete
  kCount,
};

// The kind's name in the summary ("serial_queue", ...).
[[nodiscard]] const char* KindName(Kind kind) noexcept;

// The kinds the workers run (all but kCallOnce, which the main thread runs).
[[nodiscard]] std::span<const Kind> WorkerKinds() noexcept;

struct Fixtures;

// The operations and what they are compared with.
class Workloads {
 public:
  // Makes the reference pictures and opens a secret store at `store_path` (a file in a folder of
  // the caller's), which becomes the default store. Null with `error` set when either fails.
  [[nodiscard]] static std::unique_ptr<Workloads> Make(const std::string& store_path,
                                                       std::string* error);
  ~Workloads();
  Workloads(const Workloads&) = delete;
  Workloads& operator=(const Workloads&) = delete;

  // Runs one operation of `kind` as worker `worker`: empty when every result was right, else
  // what was wrong.
  [[nodiscard]] std::string Run(Kind kind, int worker, std::mt19937_64& random);

  // The store's own integrity check, for the end of a run.
  [[nodiscard]] bool StoreIsWhole();

 private:
  explicit Workloads(std::unique_ptr<Fixtures> fixtures);
  std::unique_ptr<Fixtures> fixtures_;
};

}  // namespace kelvane::soak
