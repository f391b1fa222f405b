#include "kelvane/platform/i18n/bundle.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/device/device.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

using testing::ScopedEnvironment;
using testing::TempDir;

std::string Info(std::string_view identifier, std::string_view region = "") {
  std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>";
  xml += "<key>CFBundleIdentifier</key><string>" + std::string(identifier) + "</string>";
  if (!region.empty()) {
    xml += "<key>CFBundleDevelopmentRegion</key><string>" + std::string(region) + "</string>";
  }
  return xml + "</dict></plist>";
}

// Writes `files` (path inside the bundle, contents) into `root`/`name` and returns its path.
std::filesystem::path MakeBundle(const std::filesystem::path& root, std::string_view name,
                                 const std::vector<std::pair<std::string, std::string>>& files) {
  const std::filesystem::path dir = root / name;
  for (const auto& [file, text] : files) {
    std::filesystem::create_directories((dir / file).parent_path());
    std::ofstream(dir / file, std::ios::binary) << text;
  }
  std::filesystem::create_directories(dir);
  return dir;
}

TEST(Bundle, LooksUpThePreferredLanguageThenBaseThenTheDevelopmentRegion) {
  TempDir temp;
  const auto dir = MakeBundle(
      temp.path(), "App.bundle",
      {{"Info.plist", Info("org.test.app", "en")},
       {"pt_BR.lproj/Localizable.strings", "\"all\" = \"pt-BR\";"},
       {"pt.lproj/Localizable.strings", "\"all\" = \"pt\"; \"pt\" = \"pt\";"},
       {"Base.lproj/Localizable.strings", "\"all\" = \"Base\"; \"pt\" = \"Base\"; \"base\" = \"Base\";"},
       {"en.lproj/Localizable.strings",
        "\"all\" = \"en\"; \"base\" = \"en\"; \"en\" = \"en\"; \"pt\" = \"en\";"},
       {"de.lproj/Localizable.strings", "\"all\" = \"de\";"},
       {"de.lproj/Orders.strings", "\"buy\" = \"Kaufen\";"},
       {"es-MX.lproj/Localizable.strings", "\"all\" = \"es-MX\";"}});
  const BundleRef bundle = Bundle::AtPath(dir);
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(bundle->Identifier(), u"org.test.app");
  EXPECT_EQ(Bundle::AtPath(dir / "." / "de.lproj" / ".."), bundle);  // one object per folder

  struct Case {
    std::vector<std::string> languages;
    std::u16string_view key;
    std::u16string_view want;
  };
  const Case cases[] = {
      {{"pt-BR"}, u"all", u"pt-BR"},
      {{"pt-BR"}, u"pt", u"pt"},           // region fallback
      {{"pt-BR"}, u"base", u"Base"},       // then Base
      {{"pt-BR"}, u"en", u"en"},           // then the development region
      {{"pt-BR"}, u"none", u"none"},       // then the key
      {{"PT_pt"}, u"all", u"pt"},          // case and separator do not matter
      {{"fr", "DE"}, u"all", u"de"},       // the first language the bundle has
      {{"es"}, u"all", u"es-MX"},          // any folder of the language
      {{"ja"}, u"all", u"Base"},
      {{}, u"en", u"en"},
  };
  for (const Case& c : cases) {
    ScopedDeviceOverrides device({.preferred_languages = c.languages});
    EXPECT_EQ(bundle->LocalizedStringForKey(c.key, u"", std::nullopt), c.want)
        << (c.languages.empty() ? "" : c.languages[0]) << " " << std::string(c.key.begin(), c.key.end());
  }

  ScopedDeviceOverrides device({.preferred_languages = std::vector<std::string>{"de-AT"}});
  EXPECT_EQ(bundle->PreferredLocalizations(), (std::vector<std::string>{"de", "Base", "en"}));
  EXPECT_EQ(bundle->LocalizedStringForKey(u"buy", u"", u"Orders"), u"Kaufen");
  EXPECT_EQ(bundle->LocalizedStringForKey(u"sell", u"Sell", u"Orders"), u"Sell");
  // A table name cannot reach outside the language folders.
  EXPECT_EQ(bundle->LocalizedStringForKey(u"all", u"", u"../de.lproj/Localizable"), u"all");
  EXPECT_EQ(bundle->LocalizedStringForKey(u"all", u"", u".."), u"all");
}

TEST(Bundle, ReadsItsInfoInEitherPlistFormAndDefaultsTheRegion) {
  TempDir temp;
  plist_t info = plist_new_dict();
  plist_dict_set_item(info, "CFBundleDevelopmentRegion", plist_new_string("fr"));
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(info, &bytes, &length);
  const std::string binary_info(bytes, length);
  std::free(bytes);
  plist_free(info);
  const BundleRef binary = Bundle::AtPath(MakeBundle(
      temp.path(), "B", {{"Info.plist", binary_info}, {"fr.lproj/Localizable.strings", "a=b;"}}));
  ASSERT_NE(binary, nullptr);
  EXPECT_EQ(binary->DevelopmentRegion(), "fr");
  EXPECT_EQ(binary->Identifier(), u"");
  ScopedDeviceOverrides device({.preferred_languages = std::vector<std::string>{"ko"}});
  EXPECT_EQ(binary->LocalizedStringForKey(u"a", u"", std::nullopt), u"b");

  const BundleRef plain = Bundle::AtPath(MakeBundle(temp.path(), "P", {}));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->DevelopmentRegion(), "en");
  EXPECT_EQ(Bundle::AtPath(temp.path() / "missing"), nullptr);
}

TEST(Bundle, FindsBundlesAlongTheBundlePathThenTheDataFolders) {
  TempDir temp;
  MakeBundle(temp.path() / "first", "A.bundle", {{"Info.plist", Info("org.test.one")}});
  MakeBundle(temp.path() / "home/kelvane/bundles", "B.bundle", {{"Info.plist", Info("org.test.one")}});
  MakeBundle(temp.path() / "home/kelvane/bundles", "C.bundle", {{"Info.plist", Info("org.test.two")}});
  MakeBundle(temp.path() / "sys/kelvane/bundles", "D.bundle", {{"Info.plist", Info("org.test.three")}});
  const std::string path = (temp.path() / "nothing").string() + "::" + (temp.path() / "first").string();
  const std::string home = (temp.path() / "home").string();
  const std::string dirs = (temp.path() / "sys").string();
  ScopedEnvironment env({{"KELVANE_BUNDLE_PATH", path.c_str()},
                         {"XDG_DATA_HOME", home.c_str()},
                         {"XDG_DATA_DIRS", dirs.c_str()}});
  const auto at = [](const BundleRef& b) { return b ? b->Path().filename().string() : "(none)"; };
  EXPECT_EQ(at(Bundle::WithIdentifier(u"org.test.one")), "A.bundle");
  EXPECT_EQ(at(Bundle::WithIdentifier(u"org.test.two")), "C.bundle");
  EXPECT_EQ(at(Bundle::WithIdentifier(u"org.test.three")), "D.bundle");
  EXPECT_EQ(at(Bundle::WithIdentifier(u"org.test.ONE")), "(none)");
  EXPECT_EQ(at(Bundle::WithIdentifier(u"")), "(none)");
}

TEST(Bundle, MainBundleFromTheEnvironmentTheApplicationOrTheExecutable) {
  TempDir temp;
  const auto env_dir = MakeBundle(temp.path(), "Env", {{"Info.plist", Info("org.test.env")}});
  const auto app_dir = MakeBundle(temp.path(), "App", {{"Info.plist", Info("org.test.app")}});
  const std::string env_path = env_dir.string();
  {
    ScopedEnvironment env({{"KELVANE_MAIN_BUNDLE", nullptr}});
    const BundleRef executable = Bundle::Main();
    EXPECT_EQ(executable->Path(), std::filesystem::canonical("/proc/self/exe").parent_path());
    Bundle::SetMainBundle(app_dir);
    EXPECT_EQ(Bundle::Main()->Identifier(), u"org.test.app");
    {
      ScopedEnvironment named({{"KELVANE_MAIN_BUNDLE", env_path.c_str()}});
      EXPECT_EQ(Bundle::Main()->Identifier(), u"org.test.env");
      EXPECT_EQ(Bundle::Main(), Bundle::Main());
    }
    Bundle::SetMainBundle({});
    EXPECT_EQ(Bundle::Main(), executable);
  }
}

}  // namespace
}  // namespace kelvane::platform
