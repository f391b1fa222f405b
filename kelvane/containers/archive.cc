#include "kelvane/containers/archive.h"

namespace kelvane {
namespace detail {

platform::CodableRef LoadArchivedObject(const Data* data) noexcept {
  if (data == nullptr || data->empty()) return nullptr;
  return platform::UnarchiveRootObject(*data);
}

}  // namespace detail

namespace Archive {

std::optional<Data> archive(const platform::Codable& object) noexcept {
  return platform::ArchiveRootObject(object);
}

}  // namespace Archive
}  // namespace kelvane
