// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/address_space.h
//
// For loaders that hand work to an engine which cannot report memory running out (it stops the
// process, waits for ever on a thread it could not start, or hands back a result with parts
// missing): whether the room the work takes can be had before it starts. Not installed.
//
// Threads: any thread.
#pragma once

#include <cstdint>

namespace kelvane::platform::internal {

// True when `bytes` of address space can be had now, in one piece. The probe's mapping is never
// touched, so it costs no memory; what other threads take after it is not covered, so the
// answer is a likelihood, and the engine's own failures must still be handled.
[[nodiscard]] bool AddressSpaceAvailable(std::uint64_t bytes) noexcept;

}  // namespace kelvane::platform::internal
