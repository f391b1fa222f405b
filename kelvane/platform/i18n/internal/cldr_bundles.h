// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/internal/cldr_bundles.h
//
// ICU's CLDR data read bundle by bundle along a locale's fallback chain, for the number data
// that ICU's public interfaces do not hand out (patterns, compact forms, a currency's own
// pattern). Each bundle is opened on its own, so that a lookup sees what that bundle holds and
// the caller decides how the bundles' answers combine, as ICU's formatters do.
//
// Threads: a BundleChain is used by one thread at a time; the functions may be called from any.
#pragma once

#include <unicode/ures.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::platform::internal {

// ICU's identifier of the locale whose data stands for `identifier` (an ICU or BCP 47
// identifier, "root", or one with ICU's keywords: "hi_IN@numbers=deva"); empty when it is none.
// A language ICU has no data for gets "root" (with the keywords kept): ICU itself would take the
// process's default locale, which would make the answer depend on the environment.
[[nodiscard]] std::string DataLocale(std::string_view identifier);

// The bundles of one data tree that ICU falls back through for one locale.
class BundleChain {
 public:
  struct Link {
    std::string name;  // "de_CH", ..., "root"
    icu::LocalUResourceBundlePointer bundle;
  };
  using Path = std::initializer_list<const char*>;

  // The chain of `id` (from DataLocale()) in `package`, null for the tree of locales: the most
  // specific bundle ICU has, then each parent (as the data names it, else the identifier cut at
  // its last '_'), root last. Empty when ICU can open nothing.
  BundleChain(const char* package, const std::string& id);

  [[nodiscard]] const std::vector<Link>& links() const { return links_; }

  // The resource at `path` in the first bundle that has it, or null.
  [[nodiscard]] icu::LocalUResourceBundlePointer Find(Path path) const;

  // The resource at `path` inside `top`, or null.
  [[nodiscard]] static icu::LocalUResourceBundlePointer Lookup(const UResourceBundle* top,
                                                               Path path);

 private:
  std::vector<Link> links_;
};

// The text of a string resource; nullopt for a null resource or one of another type.
[[nodiscard]] std::optional<std::u16string> StringOf(const UResourceBundle* resource);

}  // namespace kelvane::platform::internal
