// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/net/path_monitor.h
//
// The network path of the IPv4 any-address, read from the kernel's routing table and links over
// rtnetlink, as a reachability flag word; and the radio access technology of the cellular link.
//
// Flag word: reachable when a default route leaves through an interface that is up with carrier;
// connection required when default routes exist but none leaves through such an interface;
// wireless WAN when the chosen interface is a cellular modem (the kernel's "wwan" device type or
// a raw-IP link). No other bits are set. Routes of the main table count; among several default
// routes the one with the lowest metric whose interface is usable wins.
//
// The radio technology has no kernel source: the application (or a test) installs a provider;
// without one there is none.
//
// Ownership: a PathMonitor owns its netlink sockets. Threads: CurrentFlags may be called from any
// thread. Start and Stop may be called from any thread; change reports run on the queue given
// to Start, and once Stop has returned none runs or starts (Stop waits for one in progress
// unless it is called from that report itself).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/dispatch/dispatch.h"

namespace kelvane::platform {

// The bits of the flag word (see the opening block for when each is set).
inline constexpr uint32_t kPathReachable = 0x2;           // a usable default route
inline constexpr uint32_t kPathConnectionRequired = 0x4;  // default routes, none usable now
inline constexpr uint32_t kPathIsWWAN = 0x40000;          // through a cellular modem

// The flags of the IPv4 any-address now; nullopt when the kernel could not be asked.
[[nodiscard]] KELVANE_EXPORT std::optional<uint32_t> ReadPathFlags() noexcept;

// Watches the network path and reports each change of its flag word on a queue.
class KELVANE_EXPORT PathMonitor {
 public:
  // A change report: the monitor and the new flag word.
  using Callback = std::function<void(const PathMonitor& monitor, uint32_t flags)>;

  // Null only when memory ran out. Watches nothing until Start.
  [[nodiscard]] static std::unique_ptr<PathMonitor> Create() noexcept;
  ~PathMonitor();  // Stop
  PathMonitor(const PathMonitor&) = delete;
  PathMonitor& operator=(const PathMonitor&) = delete;

  // Subscribes to the kernel's link and route changes and calls `callback` on `queue` with the
  // new flag word each time it differs from the last one seen (the first comparison is with the
  // flags at the time of this call). Returns false when the kernel refused the subscription,
  // the arguments are missing, or the monitor is already started.
  [[nodiscard]] bool Start(const QueueRef& queue, Callback callback) noexcept;
  // Ends the reports (see the threading note above). Idempotent; Start may follow.
  void Stop() noexcept;

  // The flags now, as ReadPathFlags().
  [[nodiscard]] std::optional<uint32_t> CurrentFlags() const noexcept { return ReadPathFlags(); }

  struct State;  // shared with the pending reports; not part of the interface
  // Use Create(); public only for std::make_unique.
  PathMonitor() noexcept;

 private:
  std::mutex mutex_;  // guards the fields below against concurrent Start/Stop
  std::shared_ptr<State> state_;
};

// Radio access technology names as the provider reports them.
inline constexpr char16_t kRadioAccessTechnologyGPRS[] = u"CTRadioAccessTechnologyGPRS";
inline constexpr char16_t kRadioAccessTechnologyEdge[] = u"CTRadioAccessTechnologyEdge";
inline constexpr char16_t kRadioAccessTechnologyWCDMA[] = u"CTRadioAccessTechnologyWCDMA";
inline constexpr char16_t kRadioAccessTechnologyHSDPA[] = u"CTRadioAccessTechnologyHSDPA";
inline constexpr char16_t kRadioAccessTechnologyHSUPA[] = u"CTRadioAccessTechnologyHSUPA";
inline constexpr char16_t kRadioAccessTechnologyCDMA1x[] = u"CTRadioAccessTechnologyCDMA1x";
inline constexpr char16_t kRadioAccessTechnologyCDMAEVDORev0[] =
    u"CTRadioAccessTechnologyCDMAEVDORev0";
inline constexpr char16_t kRadioAccessTechnologyCDMAEVDORevA[] =
    u"CTRadioAccessTechnologyCDMAEVDORevA";
inline constexpr char16_t kRadioAccessTechnologyCDMAEVDORevB[] =
    u"CTRadioAccessTechnologyCDMAEVDORevB";
inline constexpr char16_t kRadioAccessTechnologyeHRPD[] = u"CTRadioAccessTechnologyeHRPD";
inline constexpr char16_t kRadioAccessTechnologyLTE[] = u"CTRadioAccessTechnologyLTE";

// Answers the radio access technology of the cellular link now (one of the names above), or
// nullopt when there is none.
using RadioTechnologyProvider = std::function<std::optional<String>()>;

// Installs the provider (an empty function removes it). It may be called from any thread.
KELVANE_EXPORT void SetRadioTechnologyProvider(RadioTechnologyProvider provider) noexcept;
// The provider's answer, or nullopt without a provider (or when it failed).
[[nodiscard]] KELVANE_EXPORT std::optional<String> CurrentRadioTechnology() noexcept;

}  // namespace kelvane::platform
