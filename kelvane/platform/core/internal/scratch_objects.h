// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/scratch_objects.h
//
// The per-thread scratch objects behind the scratch environment of kelvane/runtime/
// scratch_environment.h, which documents them: numbered strings and byte buffers in the calling
// thread's dictionary under "ZQ3STR<index>" and "ZQ3DATA<index>", with the key buffer under
// "ZQ3STR". They live here, below every subsystem, so that text code (NSTools::CompareNoCase)
// borrows its scratch strings without depending on the runtime subsystem.
//
// Fetches remember what they found while the dictionary is unchanged (its generation).
//
// Threads: every function works on the calling thread's own dictionary and takes no lock.
#pragma once

#include <cstdint>

#include "kelvane/platform/core/string.h"

namespace kelvane::platform::internal {

// Most scratch objects of one kind reserved in one call; a larger count reserves none.
inline constexpr std::uint32_t kMaxScratchObjects = 65536;

// Installs fresh, empty scratch strings (byte buffers) 0 .. n-1 on the calling thread and makes
// sure the key buffer exists; n = 0 and n > kMaxScratchObjects only create the key buffer.
void ReserveScratchStrings(std::uint32_t n) noexcept;
void ReserveScratchData(std::uint32_t n) noexcept;

// Scratch string (byte buffer) number `index` of the calling thread, or nullptr when the thread
// has no key buffer yet or never reserved that number. Creates nothing and allocates nothing.
[[nodiscard]] String* ScratchString(std::uint32_t index) noexcept;
[[nodiscard]] Data* ScratchData(std::uint32_t index) noexcept;

// Scratch strings 0 and 1 of the calling thread, found together: what NSTools::CompareNoCase
// borrows on every comparison. False, with both set to nullptr, when either is missing.
[[nodiscard]] bool ScratchStringPair(String** first, String** second) noexcept;

}  // namespace kelvane::platform::internal
