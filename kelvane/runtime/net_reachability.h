// SPDX-License-Identifier: Apache-2.0
// kelvane/runtime/net_reachability.h
//
// CNetReachability: the process-wide monitor of whether the device can reach the internet and
// over what kind of link, kept as a three-valued status:
//   0 not reachable, 1 reachable over a local network ("WiFi"), 2 reachable over the cellular
//   network.
// The status follows the path of the IPv4 any-address (platform::PathMonitor): it starts from the
// flags read when the monitor is made and changes when a change report runs on the main queue,
// so the application must run its main queue for the status to move. No notification is posted.
//
// Ownership: shared() is made once and lives to the end of the process. A monitor made with
// init() stops its path monitor when destroyed.
//
// Threads: shared(), status() and networkIsSlow() may be called from any thread; the status is
// written on the main queue (or by whoever calls setStatus).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/object.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/net/path_monitor.h"

namespace kelvane {

// The flag bits of the reachability flag word that the status rules read.
inline constexpr unsigned int kReachabilityReachable = 0x2;
inline constexpr unsigned int kReachabilityConnectionRequired = 0x4;
inline constexpr unsigned int kReachabilityConnectionOnTraffic = 0x8;
inline constexpr unsigned int kReachabilityInterventionRequired = 0x10;
inline constexpr unsigned int kReachabilityConnectionOnDemand = 0x20;
inline constexpr unsigned int kReachabilityIsWWAN = 0x40000;

// The status (0, 1 or 2) that a flag word means.
[[nodiscard]] KELVANE_EXPORT int NetworkStatusForFlags(unsigned int flags) noexcept;

// The monitor of whether and how the internet can be reached (see the opening block).
class KELVANE_EXPORT CNetReachability : public platform::Object {
 public:
  // The process-wide monitor, made on the first call (thread-safe); null when it could not be
  // made (no memory, or the kernel refused the route subscription).
  [[nodiscard]] static std::shared_ptr<CNetReachability> shared() noexcept;

  // A new monitor watching the path of the IPv4 any-address, reporting on the main queue, with
  // its status read now (0 when the flags cannot be read). Null when the watch could not start.
  [[nodiscard]] static std::shared_ptr<CNetReachability> init() noexcept;
  ~CNetReachability() override;

  // The status: 0 not reachable, 1 over a local network, 2 over the cellular network.
  // setStatus() replaces it as given, as a change report does.
  [[nodiscard]] int status() const noexcept { return m_status.load(); }
  void setStatus(int status) noexcept { m_status.store(status); }

  // Whether the connection is slow. `name`, when given, is set to the link's name or to nullopt:
  // status 0 is slow with no name; status 1 is "WiFi" and not slow; status 2 looks up the radio
  // technology (GPRS, EDGE and CDMA1x are slow; unknown technologies are not, and are named as
  // reported). A status that leaves 2 during the call is answered as not slow, no name.
  [[nodiscard]] bool networkIsSlow(std::optional<String>* name = nullptr) const noexcept;

  CNetReachability() noexcept;  // use init() or shared()

 private:
  std::atomic<int> m_status{0};
  std::unique_ptr<platform::PathMonitor> m_reachability;
};

// The path monitor's change report: sets `info`'s status (a CNetReachability) from `flags`.
// Nothing when `info` is null.
KELVANE_EXPORT void ReachabilityCallBack(const platform::PathMonitor* target, unsigned int flags,
                                         void* info) noexcept;

}  // namespace kelvane
