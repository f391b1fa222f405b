// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/store/internal/item_rules.h
//
// The rules both item stores (kelvane/platform/store/item_store.h) keep; not installed.
#pragma once

#include <optional>

#include "kelvane/platform/core/string.h"
#include "kelvane/platform/store/item_store.h"

namespace kelvane::platform::internal {

[[nodiscard]] bool Matches(const ItemQuery& query, const ItemAttributes& item) noexcept;
[[nodiscard]] bool SameIdentity(const ItemAttributes& a, const ItemAttributes& b) noexcept;
[[nodiscard]] bool IsValidItem(const ItemAttributes& item) noexcept;
// Whether a value or attribute of the item, or an attribute the query matches, is over the
// limits of item_store.h.
[[nodiscard]] bool IsTooLarge(const ItemAttributes& item) noexcept;
[[nodiscard]] bool IsTooLarge(const ItemQuery& query) noexcept;

// The access group as stored: no group and the empty group are one.
[[nodiscard]] inline const String& GroupOf(const std::optional<String>& group) noexcept {
  static const String kNone;
  return group ? *group : kNone;
}

}  // namespace kelvane::platform::internal
