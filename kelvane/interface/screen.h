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
// Threads: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "kelvane/export.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane {

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

namespace internal {

// The size class for an idiom and a longer screen side in points.
[[nodiscard]] KELVANE_EXPORT std::uint64_t ScreenSizeType(platform::Idiom idiom,
                                                          double longer_side) noexcept;

// The state behind CScreen, over any source of facts, so that the one-time rules can be
// exercised with facts that change between calls. CScreen uses one instance over
// platform::CurrentScreenFacts().
class KELVANE_EXPORT ScreenState {
 public:
  struct Source {
    std::function<platform::Idiom()> idiom;
    std::function<double()> scale;
    std::function<platform::Size()> bounds;
  };
  explicit ScreenState(Source source) : source_(std::move(source)) {}
  ScreenState(const ScreenState&) = delete;
  ScreenState& operator=(const ScreenState&) = delete;

  [[nodiscard]] bool IsTablet();
  [[nodiscard]] double Scale();
  [[nodiscard]] platform::Size SizeNorm();
  [[nodiscard]] std::uint64_t SizeType();

 private:
  Source source_;
  std::once_flag tablet_once_;
  bool tablet_ = false;
  std::once_flag scale_once_;
  double scale_ = 0.0;
  // Guarded, so that two threads filling the size at once never tear it.
  std::mutex size_mutex_;
  platform::Size size_;
};

}  // namespace internal
}  // namespace kelvane
