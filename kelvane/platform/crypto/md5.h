// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/crypto/md5.h
//
// The MD5 engine (RFC 1321) behind the library's digest objects. The context is a plain value
// (the four state words, the message length in bits as two 32-bit words, the pending block and
// its fill count), so a digest object holds it inline and needs no allocation.
//
// Threads: a context is used by one thread at a time; the functions keep no other state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelvane/export.h"

namespace kelvane::platform {

// The state of one MD5 digest in progress; Md5Init() starts it.
struct Md5Context {
  std::uint32_t state[4];   // the four state words
  std::uint32_t count[2];   // message length in bits, low word first
  std::uint8_t buffer[64];  // the pending block
  std::uint32_t buffered;   // bytes waiting in `buffer`: 0 .. 63
};

// The bytes of an MD5 digest.
inline constexpr std::size_t kMd5DigestLength = 16;

// Puts the context in the start state of a new message.
KELVANE_EXPORT void Md5Init(Md5Context& context) noexcept;

// Adds `length` bytes to the message. REQUIRES: `data` points to `length` bytes (or length 0).
KELVANE_EXPORT void Md5Update(Md5Context& context, const void* data, std::size_t length) noexcept;

// Writes the 16-byte digest of the message to `digest`. The context must be re-initialised
// before it hashes another message. REQUIRES: `digest` has room for 16 bytes.
KELVANE_EXPORT void Md5Final(Md5Context& context, std::uint8_t* digest) noexcept;

}  // namespace kelvane::platform
