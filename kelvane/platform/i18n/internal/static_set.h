// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/internal/static_set.h
//
// How the process-wide character sets (Whitespace(), URLQueryAllowed(), ...) are made: once, on
// first use, and never destroyed, so that they stay usable from other statics' destructors.
#pragma once

#include <atomic>

#include "kelvane/platform/i18n/charset.h"

namespace kelvane::platform::internal {

// The set held in `slot`, made by `make` when there is none yet. When `make` runs out of memory
// (throws std::bad_alloc or gives an empty set) the answer is the empty set and the slot stays
// empty, so a later call tries again.
const CharacterSet& StaticCharacterSet(std::atomic<const CharacterSet*>& slot,
                                       CharacterSet (*make)()) noexcept;

}  // namespace kelvane::platform::internal
