// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/net_reachability.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

namespace kelvane {
namespace {

TEST(CNetReachability, StatusFollowsTheFlagsAndTellsWhetherTheNetworkIsSlow) {
  const std::pair<unsigned int, int> cases[] = {
      {0x0, 0},  {0x2, 1},  {0x40002, 2}, {0x6, 0},     {0x2E, 1},       {0x3E, 0},
      {0x1A, 1}, {0x16, 0}, {0xA, 1},     {0x40006, 2}, {0xFFFFFFFD, 0}, {0x40000, 0}};
  CNetReachability monitor;
  for (const auto& [flags, status] : cases) {
    ReachabilityCallBack(nullptr, flags, &monitor);
    EXPECT_EQ(std::tuple(NetworkStatusForFlags(flags), monitor.status()),
              std::tuple(status, status))
        << flags;
  }
  ReachabilityCallBack(nullptr, 0x2, nullptr);  // no monitor: nothing

  // Whether the network is slow, by status and radio technology.
  using Name = std::optional<String>;
  // Each row: the status, the technology reported, the answer and the name given back.
  const std::tuple<int, Name, bool, Name> rows[] = {
      {0, platform::kRadioAccessTechnologyLTE, true, std::nullopt},
      {1, platform::kRadioAccessTechnologyGPRS, false, u"WiFi"},  // not asked on a local network
      {2, platform::kRadioAccessTechnologyGPRS, true, u"GPRS"},
      {2, platform::kRadioAccessTechnologyLTE, false, u"LTE"},
      {2, u"NRNSA", false, u"NRNSA"},          // not in the table: named as reported, not slow
      {2, std::nullopt, false, std::nullopt},  // no technology known: not slow, no name
  };
  for (const auto& [status, reported, slow, expected] : rows) {
    monitor.setStatus(status);
    platform::SetRadioTechnologyProvider([reported = reported] { return reported; });
    Name name = u"stale";
    // The same answer without a name.
    EXPECT_EQ((std::tuple{monitor.networkIsSlow(&name), name, monitor.networkIsSlow()}),
              std::tuple(slow, expected, slow))
        << status << " " << ::testing::PrintToString(reported);
  }
  // The status read again after asking for the technology decides.
  platform::SetRadioTechnologyProvider([&monitor] {
    monitor.setStatus(1);
    return Name(platform::kRadioAccessTechnologyGPRS);
  });
  Name name;
  EXPECT_EQ((std::tuple{monitor.networkIsSlow(&name), name}), std::tuple(false, Name()));
  platform::SetRadioTechnologyProvider(nullptr);

  // A monitor starts with the status of the flags now; how the flags follow the kernel's routes
  // is the path monitor's to show.
  const auto before = platform::ReadPathFlags();
  const auto made = CNetReachability::init();
  const auto after = platform::ReadPathFlags();  // the same, unless the network just changed
  ASSERT_EQ((std::tuple{made != nullptr, before.has_value(), after.has_value()}),
            std::tuple(true, true, true));
  EXPECT_THAT(made->status(),
              ::testing::AnyOf(NetworkStatusForFlags(*before), NetworkStatusForFlags(*after)));
}

}  // namespace
}  // namespace kelvane
