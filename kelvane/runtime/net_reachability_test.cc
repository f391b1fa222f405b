#include "kelvane/runtime/net_reachability.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace kelvane {
namespace {

TEST(NetworkStatusForFlags, FollowsTheFlagRulesAndTheCallBackStoresThem) {
  const std::pair<unsigned int, int> cases[] = {
      {0x0, 0},  {0x2, 1},  {0x40002, 2}, {0x6, 0},     {0x2E, 1},       {0x3E, 0},
      {0x1A, 1}, {0x16, 0}, {0xA, 1},     {0x40006, 2}, {0xFFFFFFFD, 0}, {0x40000, 0},
  };
  CNetReachability monitor;
  for (const auto& [flags, status] : cases) {
    EXPECT_EQ(NetworkStatusForFlags(flags), status) << std::hex << "flags 0x" << flags;
    ReachabilityCallBack(nullptr, flags, &monitor);
    EXPECT_EQ(monitor.status(), status);
  }
  ReachabilityCallBack(nullptr, 0x2, nullptr);  // no monitor: nothing
}

TEST(CNetReachability, NetworkIsSlowByStatusAndRadioTechnology) {
  auto technology = [](std::optional<String> name) {
    platform::SetRadioTechnologyProvider([name] { return name; });
  };
  CNetReachability monitor;
  std::optional<String> name = u"stale";
  EXPECT_TRUE(monitor.networkIsSlow(&name) && !name.has_value());  // status 0
  monitor.setStatus(1);
  technology(String(platform::kRadioAccessTechnologyGPRS));  // not asked on a local network
  EXPECT_TRUE(!monitor.networkIsSlow(&name) && name == u"WiFi");

  monitor.setStatus(2);
  const std::tuple<std::u16string_view, bool, std::u16string_view> rows[] = {
      {platform::kRadioAccessTechnologyGPRS, true, u"GPRS"},
      {platform::kRadioAccessTechnologyCDMA1x, true, u"CDMA1x"},
      {platform::kRadioAccessTechnologyLTE, false, u"LTE"},
      {u"NRNSA", false, u"NRNSA"},  // not in the table: named as reported, not slow
  };
  for (const auto& [reported, slow, expected] : rows) {
    technology(String(reported));
    EXPECT_EQ(monitor.networkIsSlow(&name), slow);
    EXPECT_EQ(name, String(expected));
    EXPECT_EQ(monitor.networkIsSlow(), slow);  // the same answer without a name
  }
  technology(std::nullopt);  // no technology known: not slow, no name
  EXPECT_FALSE(monitor.networkIsSlow(&name) || name.has_value());
  // The status read again after asking for the technology decides.
  platform::SetRadioTechnologyProvider([&monitor] {
    monitor.setStatus(1);
    return std::optional<String>(platform::kRadioAccessTechnologyGPRS);
  });
  EXPECT_FALSE(monitor.networkIsSlow(&name) || name.has_value());
  platform::SetRadioTechnologyProvider(nullptr);
}

// The monitor starts with the status of the flags now; how the flags follow the kernel's routes
// is the path monitor's to show.
TEST(CNetReachability, StartsWithTheStatusOfTheFlagsNow) {
  const auto before = platform::ReadPathFlags();
  const auto monitor = CNetReachability::init();
  const auto after = platform::ReadPathFlags();  // the same, unless the network just changed
  ASSERT_TRUE(monitor != nullptr && before.has_value() && after.has_value());
  EXPECT_TRUE(monitor->status() == NetworkStatusForFlags(*before) ||
              monitor->status() == NetworkStatusForFlags(*after));
}

}  // namespace
}  // namespace kelvane
