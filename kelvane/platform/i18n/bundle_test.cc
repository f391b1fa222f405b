// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/bundle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/device/device.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/property_lists.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnvironment;

std::string Info(std::string_view identifier) {
  return "<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key><string>" +
         std::string(identifier) + "</string></dict></plist>";
}

// Writes `files` (path inside the bundle, contents) into the folder `dir` and returns it.
fs::path MakeBundle(const fs::path& dir,
                    const std::vector<std::pair<std::string, std::string>>& files) {
  fs::create_directories(dir);
  for (const auto& [file, text] : files) {
    fs::create_directories((dir / file).parent_path());
    std::ofstream(dir / file, std::ios::binary) << text;
  }
  return dir;
}

std::string Lookup(const BundleRef& bundle, std::vector<std::string> languages,
                   std::u16string_view key, OptionalString table = {}) {
  ScopedDeviceOverrides device({.preferred_languages = std::move(languages)});
  const String text = bundle->LocalizedStringForKey(key, u"", table);
  return std::string(text.begin(), text.end());  // ASCII here
}

TEST(Bundle, LooksUpThePreferredLanguageThenBaseThenTheDevelopmentRegion) {
  testing::TempDir temp;
  const fs::path dir =
      MakeBundle(temp.path() / "App.bundle",
                 {{"Info.plist", Info("org.test.app")},
                  {"pt_BR.lproj/Localizable.strings", "all = pt-BR;"},
                  {"pt.lproj/Localizable.strings", "all = pt; pt = pt;"},
                  {"Base.lproj/Localizable.strings", "all = Base; pt = Base; base = Base;"},
                  {"en.lproj/Localizable.strings", "all = en; base = en; en = en; pt = en;"},
                  {"de.lproj/Localizable.strings", "all = de;"},
                  {"de.lproj/Orders.strings", "buy = Kaufen;"},
                  {"es-MX.lproj/Localizable.strings", "all = es-MX;"}});
  const BundleRef bundle = Bundle::AtPath(dir);
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(Bundle::AtPath(dir / "de.lproj" / ".."), bundle);  // one object per folder

  EXPECT_EQ(Lookup(bundle, {"pt-BR"}, u"all"), "pt-BR");
  EXPECT_EQ(Lookup(bundle, {"pt-BR"}, u"pt"), "pt");      // the region's language
  EXPECT_EQ(Lookup(bundle, {"pt-BR"}, u"base"), "Base");  // then Base
  EXPECT_EQ(Lookup(bundle, {"pt-BR"}, u"en"), "en");      // then the development region
  EXPECT_EQ(Lookup(bundle, {"pt-BR"}, u"none"), "none");  // then the key
  EXPECT_EQ(Lookup(bundle, {"PT_pt"}, u"all"), "pt");     // case and separator do not matter
  EXPECT_EQ(Lookup(bundle, {"fr", "DE"}, u"all"), "de");  // the first language it has
  EXPECT_EQ(Lookup(bundle, {"es"}, u"all"), "es-MX");     // any folder of the language
  EXPECT_EQ(Lookup(bundle, {"ja"}, u"all"), "Base");
  EXPECT_EQ(Lookup(bundle, {"de-AT"}, u"buy", u"Orders"), "Kaufen");
  EXPECT_EQ(Lookup(bundle, {"de"}, u"all", u"../de.lproj/Localizable"), "all");  // no escape
  EXPECT_EQ(bundle->LocalizedStringForKey(u"sell", u"Sell", u"Orders"), u"Sell");
}

// Two bundles whose Info.plist is hostile (a binary chain 100,000 deep, XML nested 1,000,000
// deep) sort before a good one on the bundle path; the good one must still be found and read.
[[maybe_unused]] const bool kHostileInfo = testing::ChildProcess("bundle-hostile-info", [] {
  testing::TempDir temp;
  const Data chain = testing::DeepBinaryChain(100000);
  MakeBundle(temp.path() / "A.bundle", {{"Info.plist", std::string(chain.begin(), chain.end())}});
  MakeBundle(temp.path() / "B.bundle", {{"Info.plist", testing::DeepXml(1000000)}});
  MakeBundle(temp.path() / "C.bundle", {{"Info.plist", Info("org.test.good")},
                                        {"en.lproj/Localizable.strings", "hello = Hello;"}});
  ::setenv("KELVANE_BUNDLE_PATH", temp.path().c_str(), 1);
  const BundleRef good = Bundle::WithIdentifier(u"org.test.good");
  if (good == nullptr) return 1;
  // The development region's table answers whatever the preferred languages.
  if (good->LocalizedStringForKey(u"hello", u"", std::nullopt) != u"Hello") return 2;
  const BundleRef hostile = Bundle::AtPath(temp.path() / "A.bundle");
  if (hostile == nullptr || !hostile->Identifier().empty()) return 3;
  return 0;
});

TEST(Bundle, FindsBundlesAlongTheBundlePathThenTheDataFoldersPastHostileOnes) {
  testing::TempDir temp;
  const fs::path root = temp.path();
  MakeBundle(root / "first/A", {{"Info.plist", Info("org.test.one")}});
  MakeBundle(root / "home/kelvane/bundles/B", {{"Info.plist", Info("org.test.one")}});
  MakeBundle(root / "home/kelvane/bundles/C", {{"Info.plist", Info("org.test.two")}});
  MakeBundle(root / "sys/kelvane/bundles/D", {{"Info.plist", Info("org.test.three")}});
  const std::string path = (root / "nothing").string() + "::" + (root / "first").string();
  const std::string home = (root / "home").string(), dirs = (root / "sys").string();
  ScopedEnvironment env({{"KELVANE_BUNDLE_PATH", path.c_str()},
                         {"XDG_DATA_HOME", home.c_str()},
                         {"XDG_DATA_DIRS", dirs.c_str()}});
  const auto at = [](std::u16string_view id) {
    const BundleRef b = Bundle::WithIdentifier(id);
    return b ? b->Path().filename().string() : "(none)";
  };
  EXPECT_EQ(at(u"org.test.one"), "A");
  EXPECT_EQ(at(u"org.test.two"), "C");
  EXPECT_EQ(at(u"org.test.three"), "D");
  EXPECT_EQ(at(u"org.test.ONE"), "(none)");
  // 0: found and read; 1 to 3: a wrong answer; 128 and more: killed, by a crash or at a limit.
  const testing::ChildLimits limits{.memory_bytes = std::uint64_t{512} << 20, .seconds = 10};
  EXPECT_EQ(testing::RunLimitedChild("bundle-hostile-info", limits).status, 0);
}

TEST(Bundle, MainBundleFromTheEnvironmentTheApplicationOrTheExecutable) {
  testing::TempDir temp;
  const std::string env_dir = MakeBundle(temp.path() / "E", {{"Info.plist", Info("e")}});
  ScopedEnvironment unset({{"KELVANE_MAIN_BUNDLE", nullptr}});
  const BundleRef executable = Bundle::Main();
  EXPECT_EQ(executable->Path(), fs::canonical("/proc/self/exe").parent_path());
  Bundle::SetMainBundle(MakeBundle(temp.path() / "A", {{"Info.plist", Info("a")}}));
  EXPECT_EQ(Bundle::Main()->Identifier(), u"a");
  {
    ScopedEnvironment named({{"KELVANE_MAIN_BUNDLE", env_dir.c_str()}});
    EXPECT_EQ(Bundle::Main()->Identifier(), u"e");
  }
  {
    ScopedEnvironment missing({{"KELVANE_MAIN_BUNDLE", "/nonexistent"}});
    EXPECT_EQ(Bundle::Main()->Identifier(), u"a");  // a missing folder falls to the next choice
  }
  Bundle::SetMainBundle({});
  EXPECT_EQ(Bundle::Main(), executable);
}

}  // namespace
}  // namespace kelvane::platform
