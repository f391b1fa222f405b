// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/keyed_hash.h
//
// The hash of every table keyed by bytes from outside (strings tables, the type database's
// names, the scalars of a property list being written): SipHash-2-4 under a key drawn once per
// process, so that no file can be made to pile its keys into one bucket, and no order of
// iteration is stable across runs. Not installed.
//
// Threads: any thread; the key is drawn on first use, once.
#pragma once

#include <cstddef>
#include <string_view>

namespace kelvane::platform::internal {

[[nodiscard]] std::size_t KeyedHash(const void* bytes, std::size_t size) noexcept;

// For unordered containers of std::string or String, searched with views as well.
struct KeyedTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return KeyedHash(text.data(), text.size());
  }
  std::size_t operator()(std::u16string_view text) const noexcept {
    return KeyedHash(text.data(), text.size() * sizeof(char16_t));
  }
};

}  // namespace kelvane::platform::internal
