// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/device/internal/kernel_display.h
//
// The display the kernel reports, behind the screen facts of kelvane/platform/device/screen.h;
// for the library and its tests, not installed.
#pragma once

#include <optional>
#include <string>

#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::platform::internal {

// The preferred mode of the first connected display under `drm_root` (the kernel's
// /sys/class/drm), in pixels; nullopt when there is none. Connectors are taken in name order.
[[nodiscard]] std::optional<Size> KernelDisplaySize(const std::string& drm_root) noexcept;

}  // namespace kelvane::platform::internal
