// SPDX-License-Identifier: Apache-2.0
// kelvane/text/hash.h
//
// Message digests and hexadecimal text.
//
//   CHasher     the digest interface: Init() starts a message, Update() feeds bytes. It has no
//               finishing operation; the digest is read from the concrete class.
//   CHashMD5    MD5 (RFC 1321), 16-byte digests. Holds its context inline: no allocation.
//   CHash       HashFile(), which streams a file through any hasher.
//   NSTools     hexadecimal text to bytes and back, and the leading decimal number of a text.
//
// Hexadecimal text is two digits per byte, high nibble first, no separators and no prefix.
//
// Threads: a hasher is used by one thread at a time. Everything else keeps no state and may be
// called from any thread.
#pragma once

#include <cstdint>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/crypto/md5.h"

namespace kelvane {

// The digest interface: Init() starts a message, Update() feeds bytes.
class KELVANE_EXPORT CHasher {
 public:
  virtual ~CHasher();

  // Starts a new digest, forgetting everything fed before.
  virtual void Init() = 0;

  // Feeds `length` bytes. REQUIRES: `data` points to `length` bytes, or is null.
  virtual void Update(const void* data, unsigned int length) = 0;
};

// MD5 (RFC 1321): 16-byte digests, the context held inline.
class KELVANE_EXPORT CHashMD5 : public CHasher {
 public:
  // A new object is already initialised: ready for Update at once.
  CHashMD5() noexcept;
  ~CHashMD5() override;

  void Init() noexcept override;

  // Adds the bytes to the digest; does nothing when `data` is null or `length` is 0.
  void Update(const void* data, unsigned int length) noexcept override;

  // Writes the 16-byte digest of everything fed since the last Init() or construction.
  // Call Init() before hashing another message. REQUIRES: `digest` has room for 16 bytes.
  void Final(unsigned char* digest) noexcept;

 private:
  platform::Md5Context context_;
};

// Streams a file through a hasher.
class KELVANE_EXPORT CHash {
 public:
  CHash() = delete;

  // Init()s `hasher` and feeds it the whole content of the file at `path`, in chunks of at
  // most 4096 bytes read into one buffer on the stack. Does not finish the digest.
  // false, without touching the hasher, when the path is absent, empty, not valid UTF-16 or
  // holds a zero unit, or when the file cannot be opened or is not a regular file (a folder, a
  // named pipe, a device: refused without waiting on them). false after Init()
  // when a read fails; the hasher then holds the bytes read before the error.
  [[nodiscard]] static bool HashFile(CHasher& hasher, OptionalString path) noexcept;
};

namespace NSTools {

// Decodes the hexadecimal text of `receiver` into the `length` bytes of `buffer`: the buffer is
// first set to 0, then filled from the first 2 x length characters. A shorter text fills the
// leading bytes (an unpaired last digit fills a high nibble); any character that is not a
// hexadecimal digit leaves the whole buffer 0. Nothing happens when `buffer` is null.
// REQUIRES: `buffer` has room for `length` bytes.
KELVANE_EXPORT void ToHash(const String& receiver, char* buffer, unsigned int length) noexcept;

// The receiver's hexadecimal text decoded into length / 2 new bytes; all 0 when a character is
// not a hexadecimal digit; empty for the empty text. nullopt when the length is odd (or the
// bytes cannot be allocated).
[[nodiscard]] KELVANE_EXPORT std::optional<Data> ToHash(const String& receiver) noexcept;

// The hexadecimal text of `length` bytes at `hash`, upper-case letters when `capitalize`.
// nullopt when `hash` is null or `length` is 0 (never the empty string), or on exhaustion.
[[nodiscard]] KELVANE_EXPORT std::optional<String> stringFromHash(const char* hash,
                                                                  unsigned int length,
                                                                  bool capitalize) noexcept;

// Replaces the receiver's content with the hexadecimal text of `length` bytes at `hash`
// (upper-case letters unless `capitalize` is false). The receiver is left empty when `hash` is
// null, `length` is 0, or the text cannot be allocated.
KELVANE_EXPORT void FromHash(String& receiver, const char* hash, unsigned int length,
                             bool capitalize = true) noexcept;

// The decimal number at the start of the receiver, after white space and line breaks; an
// optional '+' may precede the digits. 0 when no digits begin the text, when a '-' precedes
// them, and when the number is 18446744073709551615 or more (it does not fit below 2^64 - 1).
[[nodiscard]] KELVANE_EXPORT std::uint64_t ToUInt64(const String& receiver) noexcept;

}  // namespace NSTools
}  // namespace kelvane
