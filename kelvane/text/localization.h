// SPDX-License-Identifier: Apache-2.0
// kelvane/text/localization.h
//
// Localised text by key, from the string tables of a bundle (kelvane/platform/i18n/bundle.h).
//
// Bundles named by identifier are found once and then kept in a process-wide cache for the
// life of the process; an identifier that names no bundle is not cached, so a bundle installed
// later is found on a later call, at the price of searching the bundle folders on every call
// until then.
//
// Threads: may be called from any thread. The cache is made once under a thread-safe guard and
// every lookup and insertion holds its own lock, which is released before the bundle's tables
// are read; the cache hands out counted references, so a bundle stays alive while a lookup
// reads it even when the cache is emptied meanwhile.
#pragma once

#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/bundle.h"

namespace kelvane {
namespace NSTools {

// The text whose key is `self` in the table `table` ("Localizable" when absent) of the bundle
// with identifier `bundle`, or of the main bundle when `bundle` is absent or names no bundle.
// A key the table lacks gives `self` itself; the empty key gives the empty string. `message`,
// a note for translators, takes no part.
[[nodiscard]] KELVANE_EXPORT String localizedInBundle(std::u16string_view self,
                                                      OptionalString bundle, OptionalString table,
                                                      OptionalString message) noexcept;

}  // namespace NSTools
}  // namespace kelvane
