// SPDX-License-Identifier: Apache-2.0
#include "kelvane/interface/screen.h"

#include <algorithm>

#include "kelvane/interface/internal/screen_state.h"

namespace kelvane {
namespace internal {

std::uint64_t ScreenSizeType(platform::Idiom idiom, double h) noexcept {
  if (idiom == platform::Idiom::kTablet) return h > 1024.0 ? 2 : 1;
  if (h <= 568.0) return 0;
  return h < 736.0 ? 1 : 2;
}

bool ScreenState::IsTablet() {
  std::call_once(tablet_once_, [this] { tablet_ = source_.idiom() == platform::Idiom::kTablet; });
  return tablet_;
}

double ScreenState::Scale() {
  std::call_once(scale_once_, [this] { scale_ = source_.scale(); });
  return scale_;
}

platform::Size ScreenState::SizeNorm() {
  std::lock_guard lock(size_mutex_);
  if (size_.width == 0.0 && size_.height == 0.0) {
    const platform::Size bounds = source_.bounds();
    size_ = {std::min(bounds.width, bounds.height), std::max(bounds.width, bounds.height)};
  }
  return size_;
}

std::uint64_t ScreenState::SizeType() {
  const double h = SizeNorm().height;
  return ScreenSizeType(source_.idiom(), h);
}

}  // namespace internal

namespace {

internal::ScreenState& Shared() {
  static internal::ScreenState state({
      [] { return platform::CurrentScreenFacts().idiom; },
      [] { return platform::CurrentScreenFacts().scale; },
      [] { return platform::CurrentScreenFacts().bounds; },
  });
  return state;
}

}  // namespace

bool CScreen::iPad() noexcept { return Shared().IsTablet(); }
double CScreen::scale() noexcept { return Shared().Scale(); }
double CScreen::scaleNorm() noexcept { return 1.0 / scale(); }
platform::Size CScreen::screenSizeNorm() noexcept { return Shared().SizeNorm(); }
std::uint64_t CScreen::screenSizeType() noexcept { return Shared().SizeType(); }

}  // namespace kelvane
