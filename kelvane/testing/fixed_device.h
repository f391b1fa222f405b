// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/fixed_device.h
//
// Test helpers. FixedDevice fixes the clock and the device's language, locale and zone, and makes
// the time module's one-time state again from them, as a process started at that instant would.
// Both are restored when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/time/internal/state.h"
#include "kelvane/time/time_tools.h"

namespace kelvane::testing {

class FixedDevice {
 public:
  FixedDevice(double now, std::string zone, std::string language = "en-US",
              std::string locale = "en-US")
      : clock_(now),
        scoped_clock_(clock_),
        device_({.preferred_languages = std::vector<std::string>{std::move(language)},
                 .current_locale = std::move(locale),
                 .time_zone = std::move(zone)}) {
    time_internal::ReinitializeForTesting();
  }

 private:
  platform::ManualClock clock_;
  platform::ScopedClock scoped_clock_;
  platform::ScopedDeviceOverrides device_;
};

// Sets the server's zone and daylight shift for a test and resets both to 0 afterwards.
struct ServerZone {
  ServerZone(std::int64_t tz, std::int64_t daylight) { STime::InitializeTZ(tz, daylight); }
  ~ServerZone() { STime::InitializeTZ(0, 0); }
  ServerZone(const ServerZone&) = delete;
  ServerZone& operator=(const ServerZone&) = delete;
};

}  // namespace kelvane::testing
