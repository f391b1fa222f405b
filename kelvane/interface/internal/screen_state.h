// SPDX-License-Identifier: Apache-2.0
// kelvane/interface/internal/screen_state.h
//
// The state behind CScreen (kelvane/interface/screen.h) over any source of facts, for the
// library and its tests; not installed.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::internal {

// The size class for an idiom and a longer screen side in points.
[[nodiscard]] std::uint64_t ScreenSizeType(platform::Idiom idiom, double longer_side) noexcept;

// The state behind CScreen, over any source of facts, so that the one-time rules can be
// exercised with facts that change between calls. CScreen uses one instance over
// platform::CurrentScreenFacts().
class ScreenState {
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

}  // namespace kelvane::internal
