// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/internal/address_space.h"

#include <sys/mman.h>

#include <limits>

namespace kelvane::platform::internal {

bool AddressSpaceAvailable(std::uint64_t bytes) noexcept {
  if (bytes > std::numeric_limits<std::size_t>::max() / 2) return false;
  const auto size = static_cast<std::size_t>(bytes == 0 ? 1 : bytes);
  // MAP_NORESERVE: the probe must not count against overcommit, only against the address space.
  void* probe = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (probe == MAP_FAILED) return false;
  ::munmap(probe, size);
  return true;
}

}  // namespace kelvane::platform::internal
