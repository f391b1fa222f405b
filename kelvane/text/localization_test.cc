#include "kelvane/text/localization.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/platform/device/device.h"
#include "kelvane/testing/scoped_environment.h"

namespace kelvane {
namespace {

using platform::Bundle;
using platform::BundleRef;
using platform::ScopedDeviceOverrides;

const std::string kDemo = std::string(KELVANE_TESTDATA_DIR) + "/bundles/Demo.bundle";

// Serves the shipped demo bundle under "org.kelvane.demo" and counts every search.
class LocalizationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::SetBundleFinderForTesting([this](std::u16string_view identifier) -> BundleRef {
      searches_.fetch_add(1);
      return identifier == u"org.kelvane.demo" ? Bundle::AtPath(kDemo) : nullptr;
    });
  }
  void TearDown() override { internal::SetBundleFinderForTesting(nullptr); }

  std::atomic<int> searches_{0};
  ScopedDeviceOverrides device_{{.preferred_languages = std::vector<std::string>{"de-DE"}}};
};

TEST_F(LocalizationTest, FoundBundlesAreSearchedOnceMissingOnesOnEveryCall) {
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(NSTools::localizedInBundle(u"order.buy", u"org.kelvane.demo", std::nullopt,
                                         u"button"),
              u"Kaufen");
  }
  EXPECT_EQ(searches_.load(), 1);
  for (int i = 0; i < 3; ++i) {
    (void)NSTools::localizedInBundle(u"order.buy", u"org.absent", std::nullopt, std::nullopt);
  }
  EXPECT_EQ(searches_.load(), 4);
}

TEST_F(LocalizationTest, MissingOrNoIdentifierAnswersFromTheMainBundle) {
  testing::ScopedEnvironment env({{"KELVANE_MAIN_BUNDLE", kDemo.c_str()}});
  for (OptionalString identifier : {OptionalString(), OptionalString(u"org.absent")}) {
    EXPECT_EQ(NSTools::localizedInBundle(u"order.sell", identifier, std::nullopt, std::nullopt),
              u"Verkaufen");
    // Keys only the development region has come from it; keys nobody has give the key.
    EXPECT_EQ(NSTools::localizedInBundle(u"app.name", identifier, u"Localizable", std::nullopt),
              u"Kelvane");
    EXPECT_EQ(NSTools::localizedInBundle(u"no.such.key", identifier, std::nullopt, u"note"),
              u"no.such.key");
    EXPECT_EQ(NSTools::localizedInBundle(u"order.sell", identifier, u"Absent", std::nullopt),
              u"order.sell");
  }
  EXPECT_EQ(NSTools::localizedInBundle(u"", u"org.kelvane.demo", std::nullopt, std::nullopt),
            u"");
  EXPECT_EQ(searches_.load(), 4);  // each call naming the missing bundle; the empty key none
}

TEST_F(LocalizationTest, ConcurrentLookupsWhileTheLanguageChanges) {
  std::atomic<bool> wrong{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&wrong, t] {
      for (int i = 0; i < 300; ++i) {
        const OptionalString id = (i + t) % 3 == 0 ? OptionalString(u"org.absent")
                                                   : OptionalString(u"org.kelvane.demo");
        const String text = NSTools::localizedInBundle(u"market.closed", id, std::nullopt, {});
        // The main bundle (the test program's folder) has no table: the key comes back.
        if (text != u"Markt geschlossen" && text != u"Market closed" && text != u"market.closed") {
          wrong = true;
        }
      }
    });
  }
  threads.emplace_back([] {
    for (int i = 0; i < 100; ++i) {
      ScopedDeviceOverrides flip({.preferred_languages = std::vector<std::string>{"en"}});
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(wrong.load());
  EXPECT_EQ(searches_.load(), 1 + 400);  // one search for the found bundle, each missing one
}

}  // namespace
}  // namespace kelvane
