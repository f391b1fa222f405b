// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/scratch_environment.h"

#include "kelvane/platform/core/internal/scratch_objects.h"

namespace kelvane::NSTools {

// The objects, their keys and the fetch cache live in the platform's core, where text code
// borrows them too (kelvane/platform/core/internal/scratch_objects.h).
static_assert(kMaxReserved == platform::internal::kMaxScratchObjects);

void SetEnviromentString(uint32_t n) noexcept { platform::internal::ReserveScratchStrings(n); }

void SetEnviromentData(uint32_t n) noexcept { platform::internal::ReserveScratchData(n); }

String* EnviromentString(uint32_t index) noexcept {
  return platform::internal::ScratchString(index);
}

Data* EnviromentData(uint32_t index) noexcept { return platform::internal::ScratchData(index); }

}  // namespace kelvane::NSTools
