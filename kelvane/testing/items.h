// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/items.h
//
// Test helpers for the secure item stores: the password items and queries the store tests build.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "kelvane/platform/store/item_store.h"

namespace kelvane::testing {

inline platform::ItemAttributes Password(String account, std::optional<String> group = std::nullopt,
                                         bool sync = false, std::string_view value = "v") {
  platform::ItemAttributes item;
  item.account = std::move(account);
  item.access_group = std::move(group);
  item.synchronizable = sync;
  item.value = Data(value.begin(), value.end());
  return item;
}

inline platform::ItemQuery For(std::optional<String> account,
                               platform::SyncMatch sync = platform::SyncMatch::kAny,
                               std::optional<String> group = std::nullopt) {
  platform::ItemQuery query;
  query.account = std::move(account);
  query.synchronizable = sync;
  query.access_group = std::move(group);
  return query;
}

}  // namespace kelvane::testing
