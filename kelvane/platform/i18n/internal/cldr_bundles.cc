// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/internal/cldr_bundles.h"

#include <unicode/uloc.h>

#include <algorithm>
#include <utility>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/i18n/locale_info.h"

namespace kelvane::platform::internal {
namespace {

using Bundle = icu::LocalUResourceBundlePointer;

// CLDR's fallback chains are at most five bundles deep; the bound keeps damaged data finite.
constexpr int kMaxChain = 12;

// Whether `keywords` are ICU's "key=value" items joined by ';'.
bool WellFormedKeywords(std::string_view keywords) {
  while (true) {
    const std::size_t end = std::min(keywords.find(';'), keywords.size());
    const std::string_view item = keywords.substr(0, end);
    const std::size_t equals = item.find('=');
    if (equals == 0 || equals == std::string_view::npos || equals + 1 == item.size() ||
        item.find('=', equals + 1) != std::string_view::npos ||
        !std::all_of(item.begin(), item.end(),
                     [](char c) { return ascii::IsAlnum(c) || c == '=' || c == '-'; })) {
      return false;
    }
    if (end == keywords.size()) return true;
    keywords.remove_prefix(end + 1);
  }
}

// The bundle after `name`: the one its data names, else `name` cut at its last '_', else root;
// empty after root.
std::string ParentOf(const std::string& name, const UResourceBundle* bundle) {
  if (name == "root") return {};
  if (bundle != nullptr) {
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    const UChar* parent = ures_getStringByKey(bundle, "%%Parent", &length, &status);
    if (U_SUCCESS(status) && length > 0 && length < ULOC_FULLNAME_CAPACITY &&
        std::all_of(parent, parent + length, [](UChar c) { return c > 0 && c < 0x80; })) {
      return std::string(parent, parent + length);
    }
  }
  const std::size_t cut = name.rfind('_');
  return cut == std::string::npos || cut == 0 ? "root" : name.substr(0, cut);
}

}  // namespace

std::string DataLocale(std::string_view identifier) {
  const std::size_t at = std::min(identifier.find('@'), identifier.size());
  const std::string_view keywords = identifier.substr(std::min(at + 1, identifier.size()));
  if (identifier.size() >= ULOC_FULLNAME_CAPACITY ||
      (at < identifier.size() && !WellFormedKeywords(keywords))) {
    return {};
  }
  std::string id = "root";
  if (identifier.substr(0, at) != "root") {
    const std::optional<Locale> locale = Locale::FromIdentifier(identifier.substr(0, at));
    if (!locale) return {};
    id = locale->EngineIdentifier();
  }
  if (at < identifier.size()) {
    id += id.find('@') == std::string::npos ? "@" : ";";
    id += keywords;
  }
  if (id.size() >= ULOC_FULLNAME_CAPACITY) return {};
  UErrorCode status = U_ZERO_ERROR;
  const Bundle bundle(ures_open(nullptr, id.c_str(), &status));
  if (status != U_USING_DEFAULT_WARNING) return id;
  const std::size_t kept = id.find('@');
  return kept == std::string::npos ? "root" : "root" + id.substr(kept);
}

BundleChain::BundleChain(const char* package, const std::string& id) {
  UErrorCode status = U_ZERO_ERROR;
  const Bundle first(ures_open(package, id.c_str(), &status));
  std::string name = "root";
  if (U_SUCCESS(status) && status != U_USING_DEFAULT_WARNING) {
    const char* actual = ures_getLocaleByType(first.getAlias(), ULOC_ACTUAL_LOCALE, &status);
    if (U_SUCCESS(status) && actual != nullptr) name = actual;
  }
  for (int depth = 0; depth < kMaxChain && !name.empty(); ++depth) {
    UErrorCode open_status = U_ZERO_ERROR;
    Bundle bundle(ures_openDirect(package, name.c_str(), &open_status));
    if (U_FAILURE(open_status)) bundle.adoptInstead(nullptr);
    std::string parent = ParentOf(name, bundle.getAlias());
    if (bundle.isValid()) links_.push_back({std::move(name), std::move(bundle)});
    name = std::move(parent);
  }
}

Bundle BundleChain::Find(Path path) const {
  for (const Link& link : links_) {
    if (Bundle found = Lookup(link.bundle.getAlias(), path); found.isValid()) return found;
  }
  return Bundle();
}

Bundle BundleChain::Lookup(const UResourceBundle* top, Path path) {
  Bundle current;
  const UResourceBundle* from = top;
  for (const char* key : path) {
    UErrorCode status = U_ZERO_ERROR;
    Bundle next(ures_getByKey(from, key, nullptr, &status));
    if (U_FAILURE(status) || next.isNull()) return Bundle();
    current = std::move(next);
    from = current.getAlias();
  }
  return current;
}

std::optional<std::u16string> StringOf(const UResourceBundle* resource) {
  if (resource == nullptr) return std::nullopt;
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  const UChar* text = ures_getString(resource, &length, &status);
  if (U_FAILURE(status) || length < 0) return std::nullopt;
  return std::u16string(text, static_cast<std::size_t>(length));
}

}  // namespace kelvane::platform::internal
