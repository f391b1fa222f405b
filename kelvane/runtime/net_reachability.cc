// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/net_reachability.h"

#include <array>
#include <string_view>

namespace kelvane {

int NetworkStatusForFlags(unsigned int flags) noexcept {
  if ((flags & kReachabilityReachable) == 0) return 0;
  if ((flags & kReachabilityIsWWAN) != 0) return 2;
  const bool on_traffic_or_demand =
      (flags & (kReachabilityConnectionOnTraffic | kReachabilityConnectionOnDemand)) != 0;
  if ((flags & kReachabilityInterventionRequired) != 0 || !on_traffic_or_demand) {
    return (flags & kReachabilityConnectionRequired) == 0 ? 1 : 0;
  }
  return 1;
}

void ReachabilityCallBack(const platform::PathMonitor* target, unsigned int flags,
                          void* info) noexcept {
  if (info == nullptr) return;
  static_cast<CNetReachability*>(info)->setStatus(NetworkStatusForFlags(flags));
}

CNetReachability::CNetReachability() noexcept = default;

CNetReachability::~CNetReachability() {
  // Stop waits for a report in progress, so none can reach this object once it is gone.
  if (m_reachability != nullptr) m_reachability->Stop();
}

std::shared_ptr<CNetReachability> CNetReachability::init() noexcept {
  try {
    auto monitor = std::make_shared<CNetReachability>();
    monitor->m_reachability = platform::PathMonitor::Create();
    if (monitor->m_reachability == nullptr) return nullptr;
    CNetReachability* info = monitor.get();  // not retained: the monitor stops its reports first
    const bool started = monitor->m_reachability->Start(
        platform::MainQueue(), [info](const platform::PathMonitor& target, uint32_t flags) {
          ReachabilityCallBack(&target, flags, info);
        });
    if (!started) return nullptr;
    const auto flags = monitor->m_reachability->CurrentFlags();
    monitor->setStatus(flags ? NetworkStatusForFlags(*flags) : 0);
    return monitor;
  } catch (...) {
    return nullptr;
  }
}

std::shared_ptr<CNetReachability> CNetReachability::shared() noexcept {
  static const std::shared_ptr<CNetReachability>* const shared =
      new (std::nothrow) std::shared_ptr<CNetReachability>(init());
  return shared == nullptr ? nullptr : *shared;
}

bool CNetReachability::networkIsSlow(std::optional<String>* name) const noexcept {
  try {
    if (name != nullptr) name->reset();
    const int now = status();
    if (now == 0) return true;
    if (now == 1) {
      if (name != nullptr) *name = u"WiFi";
      return false;
    }
    const std::optional<String> technology = platform::CurrentRadioTechnology();
    if (status() != 2 || !technology) return false;

    struct Row {
      std::u16string_view technology;
      bool slow;
      std::u16string_view name;
    };
    static constexpr std::array<Row, 11> kTable{{
        {platform::kRadioAccessTechnologyGPRS, true, u"GPRS"},
        {platform::kRadioAccessTechnologyEdge, true, u"EDGE"},
        {platform::kRadioAccessTechnologyWCDMA, false, u"WCDMA"},
        {platform::kRadioAccessTechnologyHSDPA, false, u"HSDPA"},
        {platform::kRadioAccessTechnologyHSUPA, false, u"HSUPA"},
        {platform::kRadioAccessTechnologyCDMA1x, true, u"CDMA1x"},
        {platform::kRadioAccessTechnologyCDMAEVDORev0, false, u"CDMAEVDORev0"},
        {platform::kRadioAccessTechnologyCDMAEVDORevA, false, u"CDMAEVDORevA"},
        {platform::kRadioAccessTechnologyCDMAEVDORevB, false, u"CDMAEVDORevB"},
        {platform::kRadioAccessTechnologyeHRPD, false, u"eHRPD"},
        {platform::kRadioAccessTechnologyLTE, false, u"LTE"},
    }};
    for (const Row& row : kTable) {
      if (row.technology == *technology) {
        if (name != nullptr) *name = String(row.name);
        return row.slow;
      }
    }
    if (name != nullptr) *name = *technology;
    return false;
  } catch (...) {
    // Only copying a name can fail (out of memory): answered as not slow, with no name.
    if (name != nullptr) name->reset();
    return false;
  }
}

}  // namespace kelvane
