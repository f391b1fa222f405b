// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/archive.h"

namespace kelvane::Archive {

std::optional<Data> archive(const platform::Codable& object) noexcept {
  return platform::ArchiveRootObject(object);
}

}  // namespace kelvane::Archive
