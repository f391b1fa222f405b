// SPDX-License-Identifier: Apache-2.0
// kelvane/interface/screen.h
//
// CScreen answers four questions about the device: is it a tablet, what is the main screen's
// scale, how large is the screen in points whatever the orientation, and which of three size
// classes it falls into. The facts come from the platform's screen facts (see
// kelvane/platform/device/screen.h for the environment variables and overrides).
//
// The idiom and the scale are read once, on first use, and kept for the life of the process.
// The normalised size is read on each call until a call finds a screen larger than 0 x 0, and
// kept from then on. screenSizeType() asks for the idiom afresh on every call.
//
// One of two headers named screen.h: this one is the facade; kelvane/platform/device/screen.h
// gives the platform's raw screen facts it is built on.
//
// Threads: every member may be called from any thread.
#pragma once

#include <cstdint>

#include "kelvane/export.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane {

// The screen facts the interface asks for, as the opening block says.
class KELVANE_EXPORT CScreen {
 public:
  CScreen() = delete;
  CScreen(const CScreen&) = delete;
  CScreen& operator=(const CScreen&) = delete;

  // True when the device's idiom is the tablet idiom, as first read.
  [[nodiscard]] static bool iPad() noexcept;
  // The main screen's scale (device pixels per point), as first read.
  [[nodiscard]] static double scale() noexcept;
  // 1 / scale(): the size of one device pixel in points.
  [[nodiscard]] static double scaleNorm() noexcept;
  // The screen's bounds in points as (shorter side, longer side); 0 x 0 while the platform
  // reports an empty screen.
  [[nodiscard]] static platform::Size screenSizeNorm() noexcept;
  // 0, 1 or 2 from the longer side h: a tablet is 1 up to 1024 points and 2 above; any other
  // device is 0 up to 568, 1 below 736 and 2 from 736 on.
  [[nodiscard]] static std::uint64_t screenSizeType() noexcept;
};

}  // namespace kelvane
