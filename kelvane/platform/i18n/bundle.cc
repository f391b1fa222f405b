// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/bundle.h"

#include <stdlib.h>

#include <algorithm>
#include <new>
#include <system_error>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::u16string_view kDefaultTable = u"Localizable";
constexpr std::string_view kSuffix = ".lproj";

// Bundles by resolved folder: one object per folder for the life of the process.
struct Registry {
  std::mutex mutex;
  std::map<std::string, BundleRef, std::less<>> bundles;
};

Registry& TheRegistry() {
  static internal::NoDestructor<Registry> registry;
  return *registry;
}

// What Main() answers and what it was made from, so a repeated call costs no file system work.
struct MainState {
  std::mutex mutex;
  fs::path set_by_application;
  std::string made_from;
  BundleRef bundle;
};

MainState& TheMain() {
  static internal::NoDestructor<MainState> state;
  return *state;
}

// "pt_BR" and "PT-br" both read "pt-br".
std::string Normalized(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '_') c = '-';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view LanguagePart(std::string_view normalized) {
  return normalized.substr(0, normalized.find('-'));
}

const char* NonEmptyEnv(const char* name) {
  const char* value = ::getenv(name);
  return value != nullptr && *value != 0 ? value : nullptr;
}

void AddColonList(std::string_view list, std::string_view tail, std::vector<fs::path>& out) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view item = list.substr(0, colon);
    if (!item.empty()) out.push_back(fs::path(item) / tail);
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
}

// The file name of a table, or empty for a name that could step outside its folder.
std::string TableFileName(std::u16string_view table) {
  std::string name;
  if (table.find(u'/') != std::u16string_view::npos ||
      table.find(u'\0') != std::u16string_view::npos || table == u"." || table == u".." ||
      !Utf16ToUtf8(table, name)) {
    return {};
  }
  return name + ".strings";
}

const std::shared_ptr<const StringsTable>& EmptyTable() {
  static internal::NoDestructor<std::shared_ptr<const StringsTable>> empty(
      std::make_shared<const StringsTable>());
  return *empty;
}

}  // namespace

Bundle::Bundle(fs::path path, bool exists) : path_(std::move(path)) {
  if (!exists) return;
  if (auto info = ReadStringsTable(path_ / "Info.plist")) {
    if (auto it = info->find(u"CFBundleIdentifier"); it != info->end()) identifier_ = it->second;
    if (auto it = info->find(u"CFBundleDevelopmentRegion");
        it != info->end() && !it->second.empty()) {
      std::string region;
      if (Utf16ToUtf8(it->second, region)) region_ = std::move(region);
    }
  }
  std::error_code error;
  for (fs::directory_iterator it(path_, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code ignored;
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix) && it->is_directory(ignored)) {
      localizations_.push_back(name.substr(0, name.size() - kSuffix.size()));
    }
  }
  std::sort(localizations_.begin(), localizations_.end());
}

BundleRef Bundle::AtPath(const fs::path& path) noexcept {
  try {
    std::error_code error;
    if (path.empty() || !fs::is_directory(path, error)) return nullptr;
    const fs::path resolved = fs::canonical(path, error);
    if (error) return nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    BundleRef& slot = registry.bundles[resolved.string()];
    if (slot == nullptr) slot.reset(new Bundle(resolved, true));
    return slot;
  } catch (...) {
    return nullptr;
  }
}

BundleRef Bundle::Main() noexcept {
  try {
    MainState& state = TheMain();
    const char* env = NonEmptyEnv("KELVANE_MAIN_BUNDLE");
    std::unique_lock lock(state.mutex);
    const std::string set = state.set_by_application.string();
    const std::string source = env != nullptr ? std::string(env) : set;
    // What the answer was made from: both choices, as a missing first one falls to the second.
    std::string made_from = (env != nullptr ? std::string(env) : std::string()) + '\0' + set;
    if (state.bundle != nullptr && state.made_from == made_from) return state.bundle;
    lock.unlock();

    // A named folder that is missing falls back to the next choice, down to the executable's.
    BundleRef bundle = AtPath(source);
    if (bundle == nullptr && env != nullptr) bundle = AtPath(set);
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (bundle == nullptr && !error) bundle = AtPath(executable.parent_path());
    if (bundle == nullptr) {
      // Kept in the registry like every other bundle, under a key no folder can have.
      Registry& registry = TheRegistry();
      std::lock_guard registry_lock(registry.mutex);
      BundleRef& slot = registry.bundles[std::string(1, '\0') + source];
      if (slot == nullptr) slot.reset(new Bundle(source, false));
      bundle = slot;
    }

    lock.lock();
    state.made_from = std::move(made_from);
    state.bundle = bundle;
    return bundle;
  } catch (...) {
    static internal::NoDestructor<BundleRef> none(BundleRef(new Bundle({}, false)));
    return *none;
  }
}

void Bundle::SetMainBundle(const fs::path& path) noexcept {
  try {
    MainState& state = TheMain();
    std::lock_guard lock(state.mutex);
    state.set_by_application = path;
  } catch (const std::bad_alloc&) {
  }
}

std::vector<fs::path> Bundle::SearchFolders() noexcept {
  std::vector<fs::path> folders;
  try {
    if (const char* list = NonEmptyEnv("KELVANE_BUNDLE_PATH")) AddColonList(list, "", folders);
    if (const char* home = NonEmptyEnv("XDG_DATA_HOME")) {
      folders.push_back(fs::path(home) / "kelvane/bundles");
    } else if (const char* user = NonEmptyEnv("HOME")) {
      folders.push_back(fs::path(user) / ".local/share/kelvane/bundles");
    }
    const char* dirs = NonEmptyEnv("XDG_DATA_DIRS");
    AddColonList(dirs != nullptr ? dirs : "/usr/local/share:/usr/share", "kelvane/bundles",
                 folders);
  } catch (const std::bad_alloc&) {
  }
  return folders;
}

BundleRef Bundle::WithIdentifier(std::u16string_view identifier) noexcept {
  if (identifier.empty()) return nullptr;
  try {
    for (const fs::path& folder : SearchFolders()) {
      std::error_code error;
      std::vector<fs::path> candidates;
      for (fs::directory_iterator it(folder, error), end; !error && it != end;
           it.increment(error)) {
        std::error_code ignored;
        if (it->is_directory(ignored)) candidates.push_back(it->path());
      }
      // In name order, so that of two bundles with one identifier the same one always wins.
      std::sort(candidates.begin(), candidates.end());
      for (const fs::path& candidate : candidates) {
        BundleRef bundle = AtPath(candidate);
        if (bundle != nullptr && bundle->Identifier() == identifier) return bundle;
      }
    }
  } catch (...) {
  }
  return nullptr;
}

std::vector<std::string> Bundle::ChainFor(const std::vector<std::string>& languages) const {
  std::vector<std::string> chain;
  std::vector<std::string> normalized;
  normalized.reserve(localizations_.size());
  for (const std::string& name : localizations_) normalized.push_back(Normalized(name));
  const auto add = [&](std::size_t index) {
    if (std::find(chain.begin(), chain.end(), localizations_[index]) == chain.end()) {
      chain.push_back(localizations_[index]);
    }
  };
  // "zh-hant-tw", then "zh-hant", then "zh".
  const auto add_language = [&](const std::string& language) {
    std::string wanted = Normalized(language);
    while (!wanted.empty()) {
      for (std::size_t i = 0; i < normalized.size(); ++i) {
        if (normalized[i] == wanted) add(i);
      }
      const std::size_t dash = wanted.rfind('-');
      wanted.resize(dash == std::string::npos ? 0 : dash);
    }
  };

  for (const std::string& language : languages) {
    add_language(language);
    if (chain.empty()) {
      // No folder for the language or its parents: any folder of the same language will do.
      const std::string wanted = Normalized(language);
      for (std::size_t i = 0; i < normalized.size() && chain.empty(); ++i) {
        if (LanguagePart(normalized[i]) == LanguagePart(wanted)) add(i);
      }
    }
    if (!chain.empty()) break;
  }
  add_language("Base");
  add_language(region_);
  return chain;
}

std::vector<std::string> Bundle::PreferredLocalizations() const noexcept {
  try {
    std::lock_guard lock(mutex_);
    RefreshLanguagesLocked();
    return chain_;
  } catch (...) {
    return {};
  }
}

void Bundle::RefreshLanguagesLocked() const {
  // The generation is read before the languages, so a change that lands in between is seen as
  // a change again on the next call rather than missed.
  const std::uint64_t generation = DeviceOverridesGeneration();
  if (chosen_ && generation == generation_) return;
  std::vector<std::string> chain = ChainFor(PreferredLanguages());
  if (!chosen_ || chain != chain_) {
    chain_ = std::move(chain);
    merged_.clear();
    default_merged_.reset();
  }
  generation_ = generation;
  chosen_ = true;
}

Bundle::TableRef Bundle::FileTableLocked(const std::string& localization,
                                         std::u16string_view table) const {
  const auto key = std::make_pair(localization, String(table));
  if (auto it = files_.find(key); it != files_.end()) return it->second;
  TableRef loaded;
  if (const std::string file = TableFileName(table); !file.empty()) {
    if (auto read = ReadStringsTable(path_ / (localization + std::string(kSuffix)) / file)) {
      loaded = std::make_shared<const StringsTable>(std::move(*read));
    }
  }
  files_.emplace(key, loaded);
  return loaded;
}

const StringsTable& Bundle::MergedTableLocked(std::u16string_view table) const {
  RefreshLanguagesLocked();
  const bool is_default = table == kDefaultTable;
  if (is_default && default_merged_ != nullptr) return *default_merged_;
  if (!is_default) {
    if (auto it = merged_.find(table); it != merged_.end()) return *it->second;
  }
  std::vector<TableRef> found;
  for (const std::string& localization : chain_) {
    if (TableRef t = FileTableLocked(localization, table)) found.push_back(std::move(t));
  }
  TableRef merged;
  if (found.empty()) {
    merged = EmptyTable();
  } else if (found.size() == 1) {
    merged = found.front();
  } else {
    // Least preferred first, each more preferred table overwriting what it also holds.
    auto all = std::make_shared<StringsTable>(*found.back());
    for (auto it = found.rbegin() + 1; it != found.rend(); ++it) {
      for (const auto& [key, text] : **it) all->insert_or_assign(key, text);
    }
    merged = std::move(all);
  }
  if (is_default) {
    default_merged_ = merged;
  } else {
    merged_.emplace(String(table), merged);
  }
  return *merged;
}

String Bundle::LocalizedStringForKey(std::u16string_view key, std::u16string_view value,
                                     OptionalString table) const noexcept {
  try {
    const std::u16string_view name = table && !table->empty() ? *table : kDefaultTable;
    {
      std::lock_guard lock(mutex_);
      const StringsTable& merged = MergedTableLocked(name);
      if (auto it = merged.find(key); it != merged.end()) return it->second;
    }
    return String(value.empty() ? key : value);
  } catch (...) {
    return String();
  }
}

}  // namespace kelvane::platform
