// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/bundle.h
//
// Bundles: folders of resources that an application ships, with its translations in
// `<language>.lproj/<Table>.strings` files (kelvane/platform/i18n/strings_table.h) and its
// identifier in an `Info.plist` (XML or binary property list: CFBundleIdentifier, and
// CFBundleDevelopmentRegion, the language the application was written in, "en" when absent).
//
// Where bundles are:
//   the main bundle        the folder named by KELVANE_MAIN_BUNDLE, else the one the application
//                          set with SetMainBundle(), else the folder of the running executable.
//   bundles by identifier  the bundle folders inside each folder of KELVANE_BUNDLE_PATH (a colon
//                          list), then inside "kelvane/bundles" of the data folders of the XDG
//                          base directories: $XDG_DATA_HOME (default ~/.local/share), then each
//                          of $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
//
// Which language: the first of the device's preferred languages
// (kelvane/platform/device/device.h) that the bundle has a folder for, matched without regard
// to case or to '_' against '-': "pt-BR" uses pt-BR.lproj and then pt.lproj, or else another
// Portuguese folder. Keys missing there are taken from Base.lproj, then from the folder of the
// development region. The language is chosen on first use and again whenever the device's
// overrides change; like an installed application, a running process does not notice a change
// of its own environment.
//
// Ownership: a bundle is one object per folder for the life of the process (the same pointer
// on every call), so its tables are read from disk once per table and language. Bundles are
// never destroyed: a plain pointer to one stays valid until the process exits. A table that
// is missing or malformed reads as empty, and its keys answer with their fallbacks; an
// Info.plist that is malformed, not a regular file or past the bounds of ReadStringsTable gives
// a bundle without identifier, so that it breaks no search for the other bundles.
//
// Threads: every member may be called from any thread; each bundle guards its tables with its
// own lock, and no lock of this module is held while another is taken, except that finding a
// bundle by identifier registers what it opens.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/strings_table.h"

namespace kelvane::platform {

class Bundle;
// Bundles are shared: the same ref is the same bundle.
using BundleRef = std::shared_ptr<const Bundle>;

// A folder of the application's resources and its string tables (see the opening block).
class KELVANE_EXPORT Bundle {
 public:
  Bundle(const Bundle&) = delete;
  Bundle& operator=(const Bundle&) = delete;

  // The bundle of the folder `path` (symbolic links and relative paths resolved); null when
  // `path` is not a folder.
  [[nodiscard]] static BundleRef AtPath(const std::filesystem::path& path) noexcept;

  // The main bundle; never null (a bundle with no folder behind it has no tables).
  [[nodiscard]] static BundleRef Main() noexcept;

  // Makes `path` the main bundle where KELVANE_MAIN_BUNDLE does not name one; the empty path
  // goes back to the executable's folder.
  static void SetMainBundle(const std::filesystem::path& path) noexcept;

  // The first bundle along the search folders whose identifier is `identifier` (exactly); null
  // when there is none or `identifier` is empty. Reads the folders afresh on every call.
  [[nodiscard]] static BundleRef WithIdentifier(std::u16string_view identifier) noexcept;

  // The folders WithIdentifier searches, in order.
  [[nodiscard]] static std::vector<std::filesystem::path> SearchFolders() noexcept;

  // The bundle's folder.
  [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }
  // Empty when the bundle has no identifier.
  [[nodiscard]] const String& Identifier() const noexcept { return identifier_; }
  // The language the application was written in; "en" when the bundle does not say.
  [[nodiscard]] const std::string& DevelopmentRegion() const noexcept { return region_; }
  // The names of the bundle's `.lproj` folders without the suffix, in name order.
  [[nodiscard]] const std::vector<std::string>& Localizations() const noexcept {
    return localizations_;
  }
  // The folders a key is looked for in under the device's languages now, most preferred first.
  [[nodiscard]] std::vector<std::string> PreferredLocalizations() const noexcept;

  // The text for `key` in the table named `table` ("Localizable" when absent or empty). A key
  // no table holds gives `value` when it is not empty, else `key`. A table name holding '/' or
  // U+0000, or one of "." and "..", names no table.
  [[nodiscard]] String LocalizedStringForKey(std::u16string_view key, std::u16string_view value,
                                             OptionalString table) const noexcept;

 private:
  using TableRef = std::shared_ptr<const StringsTable>;

  Bundle(std::filesystem::path path, bool exists);

  void RefreshLanguagesLocked() const;
  const StringsTable& MergedTableLocked(std::u16string_view table) const;
  TableRef FileTableLocked(const std::string& localization, std::u16string_view table) const;
  std::vector<std::string> ChainFor(const std::vector<std::string>& languages) const;

  std::filesystem::path path_;
  String identifier_;
  std::string region_ = "en";
  std::vector<std::string> localizations_;

  mutable std::mutex mutex_;
  mutable bool chosen_ = false;
  mutable std::uint64_t generation_ = 0;
  mutable std::vector<std::string> chain_;
  // Tables as read from disk, by localization and table name; null for a missing file.
  mutable std::map<std::pair<std::string, String>, TableRef, std::less<>> files_;
  // The tables of the chain merged into one per table name, rebuilt when the chain changes.
  mutable std::unordered_map<String, TableRef, StringHash, std::equal_to<>> merged_;
  mutable TableRef default_merged_;
};

}  // namespace kelvane::platform
