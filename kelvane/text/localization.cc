// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/localization.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/text/internal/bundle_finder.h"

namespace kelvane {
namespace {

using platform::Bundle;
using platform::BundleRef;

// The cache of found bundles by identifier, with its own lock.
struct Bundles {
  std::recursive_mutex mutex;
  std::unordered_map<String, BundleRef, platform::StringHash, std::equal_to<>> by_identifier;
  internal::BundleFinder finder;
};

Bundles& TheBundles() {
  // Never destroyed: other statics may still localise while the process exits.
  static platform::internal::NoDestructor<Bundles> bundles;
  return *bundles;
}

// A counted reference: the cache may be emptied (SetBundleFinderForTesting) while the caller
// still reads the bundle's tables outside the lock.
BundleRef Find(Bundles& bundles, std::u16string_view identifier) {
  std::lock_guard lock(bundles.mutex);
  if (auto it = bundles.by_identifier.find(identifier); it != bundles.by_identifier.end()) {
    return it->second;
  }
  BundleRef found =
      bundles.finder ? bundles.finder(identifier) : Bundle::WithIdentifier(identifier);
  if (found == nullptr) return nullptr;
  return bundles.by_identifier.emplace(String(identifier), std::move(found)).first->second;
}

}  // namespace

namespace NSTools {

String localizedInBundle(std::u16string_view self, OptionalString bundle, OptionalString table,
                         OptionalString message) noexcept {
  if (self.empty()) return String();
  try {
    BundleRef found = bundle ? Find(TheBundles(), *bundle) : nullptr;
    if (found == nullptr) found = Bundle::Main();
    // The empty default: a missing entry answers with the key itself.
    return found->LocalizedStringForKey(self, u"", table);
  } catch (...) {
    return String();
  }
}

}  // namespace NSTools

namespace internal {

void SetBundleFinderForTesting(BundleFinder finder) {
  Bundles& bundles = TheBundles();
  std::lock_guard lock(bundles.mutex);
  bundles.finder = std::move(finder);
  bundles.by_identifier.clear();
}

}  // namespace internal
}  // namespace kelvane
