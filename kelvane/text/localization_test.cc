// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/localization.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <tuple>
#include <vector>

#include "kelvane/platform/device/device.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/threads.h"
#include "kelvane/text/internal/bundle_finder.h"

namespace kelvane {
namespace {

using platform::ScopedDeviceOverrides;

const std::string kDemo = std::string(KELVANE_TESTDATA_DIR) + "/bundles/Demo.bundle";

// Serves the shipped demo bundle as "org.kelvane.demo" and counts every search.
class LocalizationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::SetBundleFinderForTesting([this](std::u16string_view id) -> platform::BundleRef {
      ++searches_;
      return id == u"org.kelvane.demo" ? platform::Bundle::AtPath(kDemo) : nullptr;
    });
  }
  void TearDown() override { internal::SetBundleFinderForTesting(nullptr); }

  static String L(std::u16string_view key, OptionalString id, OptionalString table = {}) {
    return NSTools::localizedInBundle(key, id, table, u"a note for translators");
  }

  std::atomic<int> searches_{0};
  ScopedDeviceOverrides device_{{.preferred_languages = std::vector<std::string>{"de-DE"}}};
};

TEST_F(LocalizationTest, ConcurrentLookupsWhileTheLanguageChanges) {
  std::atomic<int> wrong_from_demo{0}, wrong_from_main{0};
  // Four threads look texts up while a fifth changes the preferred language.
  testing::OnThreads(5, [&](int t) {
    if (t == 4) {
      for (int i = 0; i < 100; ++i)
        ScopedDeviceOverrides flip({.preferred_languages = std::vector<std::string>{"en"}});
      return;
    }
    for (int i = 0; i < 300; ++i) {
      const bool absent = (i + t) % 3 == 0;
      const String text = L(u"market.closed", absent ? u"org.absent" : u"org.kelvane.demo");
      // The demo bundle answers in German or English, never with the key; the main bundle (the
      // test program's folder) has no table and gives the key.
      if (absent) {
        wrong_from_main += text != u"market.closed";
      } else {
        wrong_from_demo += text != u"Markt geschlossen" && text != u"Market closed";
      }
    }
  });
  EXPECT_EQ(std::tuple(wrong_from_demo.load(), wrong_from_main.load()), std::tuple(0, 0));
  EXPECT_EQ(L(u"", u"org.other"), u"");  // the empty key searches nothing
  EXPECT_EQ(searches_, 1 + 400);         // one for the found bundle, every call for the missing one
  // No identifier, or a missing bundle, answers from the main bundle.
  testing::ScopedEnvironment env({{"KELVANE_MAIN_BUNDLE", kDemo.c_str()}});
  EXPECT_EQ(std::tuple(L(u"order.sell", std::nullopt), L(u"order.sell", u"org.absent")),
            std::tuple(String(u"Verkaufen"), String(u"Verkaufen")));
}

}  // namespace
}  // namespace kelvane
