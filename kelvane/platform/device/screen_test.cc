// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/device/screen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "kelvane/platform/device/internal/kernel_display.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

using testing::ScopedEnvironment;

TEST(ScreenFacts, ParsesSettingsFromTheEnvironmentThenOverridesAndReadsTheKernelsFirstDisplay) {
  const auto setting = ParseScreenSetting("414x896@3");
  ASSERT_TRUE(setting);
  EXPECT_EQ((std::tuple{setting->bounds, setting->scale}), std::tuple(Size{414, 896}, 3.0));
  EXPECT_EQ(ParseScreenSetting("1024x768")->scale, 1.0);
  EXPECT_EQ(ParseScreenSetting("375.5x667@2.5")->bounds.width, 375.5);
  for (const char* bad : {"", "x", "414x", "x896", "414x896@", "414x896@0", "414x896@17", "0x896@2",
                          "-1x896", "414x896@2x", "414*896", "nanx896", "1e9x5", "414x896@inf"}) {
    EXPECT_FALSE(ParseScreenSetting(bad)) << bad;
  }
  EXPECT_EQ(
      (std::tuple{ParseIdiom("Tablet"), ParseIdiom("phone"), ParseIdiom("pad"), ParseIdiom("")}),
      std::tuple(Idiom::kTablet, Idiom::kPhone, std::nullopt, std::nullopt));

  // The kernel's first connected display.
  testing::TempDir root;
  auto connector = [&](const char* name, const char* status, const char* modes) {
    std::filesystem::create_directories(root.path() / name);
    root.Write(std::string(name) + "/status", status);
    root.Write(std::string(name) + "/modes", modes);
  };
  EXPECT_FALSE(internal::KernelDisplaySize(root.path().string()));
  connector("card0-DP-1", "disconnected\n", "");
  connector("card0-HDMI-A-1", "connected\n", "2560x1440\n1920x1080\n");
  connector("card0-HDMI-A-2", "connected\n", "1280x720\n");
  EXPECT_EQ(internal::KernelDisplaySize(root.path().string()), (Size{2560, 1440}));
  // A connected display without modes is passed over; an interlaced mode keeps its size.
  connector("card0-HDMI-A-1", "connected\n", "");
  connector("card0-HDMI-A-2", "connected\n", "1920x1080i\n");
  EXPECT_EQ(internal::KernelDisplaySize(root.path().string()), (Size{1920, 1080}));
  EXPECT_FALSE(internal::KernelDisplaySize(root.File("missing")));

  ScopedEnvironment env({{"KELVANE_SCREEN", "768x1024@2"}, {"KELVANE_IDIOM", "tablet"}});
  EXPECT_EQ(EnvironmentScreenFacts(), (ScreenFacts{Idiom::kTablet, 2.0, {768, 1024}}));
  {
    ScopedScreenOverrides scale({.scale = 1.0});
    ScopedScreenOverrides bounds({.bounds = Size{320, 568}});
    EXPECT_EQ(CurrentScreenFacts(), (ScreenFacts{Idiom::kTablet, 1.0, {320, 568}}));
  }
  EXPECT_EQ(CurrentScreenFacts().scale, 2.0);
  {
    ScopedScreenOverrides nonsense({.scale = 0.0, .bounds = Size{-1, 5}});
    EXPECT_EQ(CurrentScreenFacts(), (ScreenFacts{Idiom::kTablet, 2.0, {768, 1024}}));
    ScopedScreenOverrides empty({.bounds = Size{0, 0}});
    EXPECT_EQ(CurrentScreenFacts().bounds, (Size{0, 0}));
  }
  {
    // A malformed screen leaves the kernel or the default to answer; a malformed idiom is a
    // phone.
    ScopedEnvironment bad({{"KELVANE_SCREEN", "big"}, {"KELVANE_IDIOM", "watch"}});
    EXPECT_EQ(EnvironmentScreenFacts().idiom, Idiom::kPhone);
    EXPECT_NE(EnvironmentScreenFacts().bounds, (Size{768, 1024}));
  }
}

}  // namespace
}  // namespace kelvane::platform
