// SPDX-License-Identifier: Apache-2.0
// `kelvane strings KEY [--bundle DIR | --id ID] [--table T] [--lang L]`: the localised text of
// a key, from a bundle folder, a bundle found by identifier, or the main bundle.
// Demo step: keys of the demo bundle in testdata, in English and in German.
#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/bundle.h"
#include "kelvane/platform/i18n/locale_info.h"
#include "kelvane/text/localization.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/device_options.h"

namespace kelvane::cli {
namespace {

struct StringsOptions {
  std::string key;
  std::string bundle;
  std::string id;
  std::string table;
  std::vector<std::string> languages;
};

int RunStrings(const StringsOptions& o) {
  std::optional<platform::ScopedDeviceOverrides> device;
  if (!o.languages.empty()) {
    device.emplace(platform::DeviceOverrides{.preferred_languages = o.languages});
  }
  const String key = Text(o.key);
  const String table = Text(o.table);
  const OptionalString table_arg = o.table.empty() ? OptionalString() : OptionalString(table);
  if (!o.bundle.empty()) {
    std::error_code error;
    if (!std::filesystem::is_directory(o.bundle, error)) {
      throw Failure(o.bundle + ": " +
                    (std::filesystem::exists(o.bundle, error) ? "not a folder" : "no such folder"));
    }
    const platform::BundleRef bundle = platform::Bundle::AtPath(o.bundle);
    if (bundle == nullptr) throw Failure(o.bundle + ": not a bundle folder");
    std::cout << Utf8(bundle->LocalizedStringForKey(key, u"", table_arg)) << '\n';
    return 0;
  }
  OptionalString id_arg;
  const String id = Text(o.id);
  if (!o.id.empty()) {
    id_arg = id;
    if (platform::Bundle::WithIdentifier(id) == nullptr) {
      PrintError("--id: no bundle " + o.id + ", answering from the main bundle " +
                 platform::Bundle::Main()->Path().string());
    }
  }
  std::cout << Utf8(NSTools::localizedInBundle(key, id_arg, table_arg, std::nullopt)) << '\n';
  return 0;
}

}  // namespace

void AddStrings(Tool& tool) {
  CLI::App* sub = tool.app.add_subcommand(
      "strings", "the localised text of KEY from a bundle's .lproj string tables");
  auto o = std::make_shared<StringsOptions>();
  sub->add_option("KEY", o->key, "the key of the text")->required();
  CLI::Option* bundle =
      sub->add_option("--bundle", o->bundle, "the bundle folder (default: the main bundle)")
          ->type_name("DIR");
  sub->add_option("--id", o->id,
                  "a bundle identifier, searched along KELVANE_BUNDLE_PATH and the XDG data "
                  "folders (kelvane/bundles); the main bundle answers when none has it")
      ->excludes(bundle);
  sub->add_option("--table", o->table, "the table (default: Localizable)");
  DeviceOptions::AddLanguages(sub, o->languages);
  tool.Runs(sub, [o] { return RunStrings(*o); });
}

namespace {

// The folders a key of the bundle is looked for in, in order: "de.lproj, en.lproj".
std::string FolderList(std::u16string_view identifier) {
  std::string list;
  if (const platform::BundleRef bundle = platform::Bundle::WithIdentifier(identifier)) {
    for (const std::string& name : bundle->PreferredLocalizations()) {
      list += (list.empty() ? "" : ", ") + name + ".lproj";
    }
  }
  return list;
}

}  // namespace

int DemoStrings(DemoContext& context) {
  std::ostream& out = context.out;
  const std::filesystem::path bundles = std::filesystem::path(KELVANE_TESTDATA_DIR) / "bundles";
  std::error_code error;
  if (!std::filesystem::is_directory(bundles / "Demo.bundle", error)) {
    out << "(the demo bundle of the source tree is not at " << bundles.string()
        << "; step skipped)\n";
    return 0;
  }
  // Set before any thread of the library runs, and put back afterwards.
  const char* saved = ::getenv("KELVANE_BUNDLE_PATH");
  const std::optional<std::string> previous =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  ::setenv("KELVANE_BUNDLE_PATH", bundles.c_str(), 1);
  out << "The bundle org.kelvane.demo, found along KELVANE_BUNDLE_PATH=" << bundles.string()
      << "\n(de.lproj is UTF-16; app.name only exists in English, the development region):\n";
  const std::u16string_view keys[] = {u"order.buy",   u"order.sell", u"market.closed",
                                      u"quote.title", u"app.name",   u"no.such.key"};
  for (const char* language : {"en-GB", "de-CH"}) {
    platform::ScopedDeviceOverrides device(
        {.preferred_languages = std::vector<std::string>{language}});
    out << "\n  " << language << " (looked up in " << FolderList(u"org.kelvane.demo") << ")\n";
    for (std::u16string_view key : keys) {
      out << "    " << Utf8(key) << std::string(16 - key.size(), ' ')
          << Utf8(NSTools::localizedInBundle(key, u"org.kelvane.demo", std::nullopt, std::nullopt))
          << '\n';
    }
  }
  out << "\n$ kelvane strings order.confirm --id org.kelvane.demo --lang de\n";
  out.flush();
  const int status = RunStrings({"order.confirm", "", "org.kelvane.demo", "", {"de"}});
  if (previous) {
    ::setenv("KELVANE_BUNDLE_PATH", previous->c_str(), 1);
  } else {
    ::unsetenv("KELVANE_BUNDLE_PATH");
  }
  return status;
}

}  // namespace kelvane::cli
