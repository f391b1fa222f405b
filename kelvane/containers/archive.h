// kelvane/containers/archive.h
//
// Archiving objects to bytes and back, with a class check on reading. An object takes part by
// deriving from platform::Codable and registering its class (platform::RegisterCodableClass);
// the bytes are a keyed archive the phone application reads and writes too.
//
// Threads: any thread; see kelvane/platform/keyed_coder.h.
#pragma once

#include <memory>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/keyed_coder.h"
#include "kelvane/platform/string.h"

namespace kelvane {
namespace detail {  // what the templates below call; see kelvane/export.h
// The root object of `data`; null for null or empty data (the decoder is not called) and for
// anything that does not load.
[[nodiscard]] KELVANE_EXPORT platform::CodableRef LoadArchivedObject(const Data* data) noexcept;
}  // namespace detail

namespace Archive {

// The keyed archive of `object` (an independent copy of the bytes); nullopt when archiving
// failed (see platform::ArchiveRootObject).
[[nodiscard]] KELVANE_EXPORT std::optional<Data> archive(const platform::Codable& object) noexcept;

// The object archived in `data` when it is of class T or of a class derived from T; null for
// null or empty data, malformed data, an unknown class or an object of another class.
template <typename T>
[[nodiscard]] std::shared_ptr<T> loadFromArchive(const Data* data) noexcept {
  return std::dynamic_pointer_cast<T>(detail::LoadArchivedObject(data));
}

}  // namespace Archive
}  // namespace kelvane
