// SPDX-License-Identifier: Apache-2.0
// kelvane/runtime/scratch_environment.h
//
// The per-thread scratch environment: numbered mutable strings and byte buffers that a thread
// reserves once and that library code then borrows by number instead of allocating on every
// call (NSTools::CompareNoCase borrows strings 0 and 1).
//
// The objects live in the calling thread's dictionary (kelvane/platform/core/thread_dictionary.h):
//   "ZQ3STR"             the key buffer, into which each dictionary lookup writes its key
//   "ZQ3STR<index>"      scratch string number index  (ZQ3STR0, ZQ3STR1, ...)
//   "ZQ3DATA<index>"     scratch byte buffer number index  (ZQ3DATA0, ...)
// with the index in decimal without leading zeros. These keys are part of the interface: other
// code on the thread may find the objects under them.
//
// Fetches remember what they found while the dictionary is unchanged (its generation), so a
// repeated fetch neither looks up nor rewrites the key buffer; an entry that other code
// replaces or removes is looked up afresh.
//
// Ownership: the dictionary owns the objects; a fetched pointer borrows one. It stays valid
// while the thread lives; reserving the same number again empties it in place.
//
// Threads: every function works on the calling thread's own dictionary and takes no lock. A
// borrowed object must not be handed to another thread, nor held across a call that borrows the
// same number on the same thread.
#pragma once

#include <cstdint>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::NSTools {

// Most scratch objects of one kind a thread may reserve in one call. A larger count (a garbled
// number would otherwise reserve memory until the process dies) reserves none.
inline constexpr uint32_t kMaxReserved = 65536;

// Installs fresh, empty scratch strings 0 .. n-1 on the calling thread (dropping the contents of
// earlier ones under those numbers; higher numbers stay) and makes sure the key buffer exists.
// n = 0, and n > kMaxReserved, only create the key buffer. When memory runs out the loop ends
// early and the entries made so far stay.
KELVANE_EXPORT void SetEnviromentString(uint32_t n) noexcept;

// The same for scratch byte buffers 0 .. n-1; it shares the key buffer with the strings.
KELVANE_EXPORT void SetEnviromentData(uint32_t n) noexcept;

// Scratch string (byte buffer) number `index` of the calling thread, or nullptr when the thread
// has no key buffer yet or never reserved that number. Creates nothing and allocates nothing.
[[nodiscard]] KELVANE_EXPORT String* EnviromentString(uint32_t index) noexcept;
// EnviromentString() for the byte buffers.
[[nodiscard]] KELVANE_EXPORT Data* EnviromentData(uint32_t index) noexcept;
}  // namespace kelvane::NSTools
