// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/property_list_room.h
//
// For the library's readers of binary property lists (keyed archives, strings tables): whether
// libplist's tree of a checked list fits in the address space left. libplist does not check its
// allocations, so a list whose tree does not fit would end the process inside it, or come back
// as a tree with parts missing. Not installed.
//
// Threads: any thread.
#pragma once

#include <cstdint>

namespace kelvane::platform::internal {

// True when twice `expanded_bytes` of address space, and a mebibyte more, can be had now
// (address_space.h): the room libplist's tree of a list takes, by CheckBinaryPropertyList()'s
// estimate of its expanded weight, with as much again for the allocator.
[[nodiscard]] bool RoomForPropertyList(std::uint64_t expanded_bytes) noexcept;

}  // namespace kelvane::platform::internal
