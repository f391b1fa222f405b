// SPDX-License-Identifier: Apache-2.0
// kelvane/containers/archive.h
//
// Archiving objects to bytes and back, with a class check on reading. An object takes part by
// deriving from platform::Codable and registering its class (platform::RegisterCodableClass);
// the bytes are a keyed archive the phone application reads and writes too.
//
// Threads: any thread; see kelvane/platform/archive/keyed_coder.h.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "kelvane/export.h"
#include "kelvane/platform/archive/keyed_coder.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::Archive {

// The keyed archive of `object` (an independent copy of the bytes); nullopt when archiving
// failed (see platform::ArchiveRootObject).
[[nodiscard]] KELVANE_EXPORT std::optional<Data> archive(const platform::Codable& object) noexcept;

// The object archived in `data` when it is of class T or of a class derived from T; null for
// null or empty data, malformed data, an unknown class or an object of another class. The
// class of the archived object is checked before any of its values is decoded, so an archive
// of another class runs no decode function.
// REQUIRES: T is platform::Codable, or declares kArchiveClassName (see platform::Codable).
template <typename T>
[[nodiscard]] std::shared_ptr<T> loadFromArchive(const Data* data) noexcept {
  std::string_view name;
  if constexpr (!std::is_same_v<T, platform::Codable>) {
    static_assert(
        requires { std::string_view(T::kArchiveClassName); },
        "a class loaded by type names its archived class in kArchiveClassName");
    name = T::kArchiveClassName;
  }
  if (data == nullptr || data->empty()) return nullptr;
  return std::dynamic_pointer_cast<T>(platform::UnarchiveRootObject(*data, name));
}

}  // namespace kelvane::Archive
