// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/device/appearance.h"

#include <atomic>

namespace kelvane::platform {
namespace {

// A plain atomic rather than a guarded variable: the appearance is read on every resolution of
// every dynamic colour, often while drawing, and must never make a drawing thread wait.
std::atomic<int> g_appearance{static_cast<int>(Appearance::kLight)};

}  // namespace

Appearance CurrentAppearance() noexcept {
  return static_cast<Appearance>(g_appearance.load(std::memory_order_acquire));
}

Appearance SetCurrentAppearance(Appearance appearance) noexcept {
  return static_cast<Appearance>(
      g_appearance.exchange(static_cast<int>(appearance), std::memory_order_acq_rel));
}

}  // namespace kelvane::platform
