// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/internal/keyed_hash.h"

#include <sodium.h>

#include <cstdint>
#include <cstring>

namespace kelvane::platform::internal {

std::size_t KeyedHash(const void* bytes, std::size_t size) noexcept {
  struct Key {
    unsigned char bytes[crypto_shorthash_KEYBYTES];
  };
  static const Key key = [] {
    Key k;
    // randombytes_buf draws from the system whether or not initialisation succeeded; this only
    // makes libsodium's start-up explicit (and thread-safe) before its first use.
    [[maybe_unused]] const int ready = sodium_init();
    randombytes_buf(k.bytes, sizeof k.bytes);
    return k;
  }();
  unsigned char out[crypto_shorthash_BYTES];
  crypto_shorthash(out, static_cast<const unsigned char*>(bytes), size, key.bytes);
  std::uint64_t hash = 0;
  std::memcpy(&hash, out, sizeof hash);
  return static_cast<std::size_t>(hash);
}

}  // namespace kelvane::platform::internal
