// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/characters.h
//
// User-perceived characters and case mapping on ICU: the length of the composed character
// sequence (extended grapheme cluster) at an index, and the full Unicode upper-casing that does
// not depend on the locale.
//
// Threads: every function may be called from any thread. Each thread keeps one grapheme
// iterator of its own, made on first use and closed when the thread ends.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// Units of the user-perceived character that holds unit `index` of `text`, counted from
// `index`: a base letter with its combining marks, a surrogate pair, a regional-indicator flag,
// an emoji sequence joined with zero-width joiners, a Hangul syllable made of jamo. 0 when the
// index is at or past the end; 1 for an unpaired surrogate; 1 when ICU cannot segment the text
// (out of memory), so a caller always makes progress.
[[nodiscard]] KELVANE_EXPORT std::size_t ComposedCharacterLength(std::u16string_view text,
                                                                 std::size_t index) noexcept;

// `text` upper-cased with the full Unicode mapping of the root locale ("ß" -> "SS", "ŉ" ->
// "ʼN"), so the result never depends on the user's language. nullopt when ICU fails (out of
// memory); an unpaired surrogate is kept as it is.
[[nodiscard]] KELVANE_EXPORT std::optional<String> UppercaseString(
    std::u16string_view text) noexcept;

}  // namespace kelvane::platform
