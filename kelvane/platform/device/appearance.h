// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/device/appearance.h
//
// The appearance of the interface (light or dark) as one process-wide fact. Dynamic colours
// resolve against it when they are asked for their components without an explicit appearance.
// It starts as light; the application sets it when the user's choice changes, and the CLI and
// tests set it to show or check both looks.
//
// Threads: any thread may read or set the appearance at any time; a reader sees either the old
// or the new value, never a mixture. ScopedAppearance is meant for one thread at a time (a test
// body, a CLI command): two overlapping scopes on different threads restore in their own order.
#pragma once

#include "kelvane/export.h"

namespace kelvane::platform {

// The interface style a colour is resolved for. The numbers are those the platform reports, so
// a value read from elsewhere converts with a plain cast; numbers other than these three are
// tolerated and read as "not dark" by every resolver in the library.
enum class Appearance : int {
  kUnspecified = 0,  // not said; the library reads it as not dark
  kLight = 1,        // light
  kDark = 2,         // dark
};

// The current appearance of the process: kLight until something sets it.
[[nodiscard]] KELVANE_EXPORT Appearance CurrentAppearance() noexcept;

// Makes `appearance` the current appearance of the process and returns the one it replaces.
KELVANE_EXPORT Appearance SetCurrentAppearance(Appearance appearance) noexcept;

// Sets the current appearance for the lifetime of the object and puts the previous one back on
// destruction.
class KELVANE_EXPORT ScopedAppearance {
 public:
  // Makes `appearance` current until the object goes.
  explicit ScopedAppearance(Appearance appearance) noexcept
      : previous_(SetCurrentAppearance(appearance)) {}
  ~ScopedAppearance() { SetCurrentAppearance(previous_); }
  ScopedAppearance(const ScopedAppearance&) = delete;
  ScopedAppearance& operator=(const ScopedAppearance&) = delete;

 private:
  Appearance previous_;
};

}  // namespace kelvane::platform
