// SPDX-License-Identifier: Apache-2.0
// kelvane/text/internal/bundle_finder.h
//
// How NSTools::localizedInBundle (kelvane/text/localization.h) finds a bundle, replaceable by
// tests; not installed.
#pragma once

#include <functional>
#include <string_view>

#include "kelvane/platform/i18n/bundle.h"

namespace kelvane::internal {

using BundleFinder = std::function<platform::BundleRef(std::u16string_view identifier)>;

// For tests: replaces how localizedInBundle finds a bundle by identifier (an empty function
// restores platform::Bundle::WithIdentifier) and empties the cache.
void SetBundleFinderForTesting(BundleFinder finder);

}  // namespace kelvane::internal
