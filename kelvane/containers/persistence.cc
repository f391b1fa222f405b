// The record format of CArrayBase: a little-endian 32-bit count, then the raw items.
#include <cstring>
#include <limits>
#include <new>

#include "kelvane/containers/file_tools.h"
#include "kelvane/containers/storage.h"

namespace kelvane {
namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

void PutCount(std::uint8_t* to, std::uint32_t n) {
  to[0] = static_cast<std::uint8_t>(n);
  to[1] = static_cast<std::uint8_t>(n >> 8);
  to[2] = static_cast<std::uint8_t>(n >> 16);
  to[3] = static_cast<std::uint8_t>(n >> 24);
}

std::uint32_t GetCount(const std::uint8_t* from) {
  return std::uint32_t{from[0]} | std::uint32_t{from[1]} << 8 | std::uint32_t{from[2]} << 16 |
         std::uint32_t{from[3]} << 24;
}

}  // namespace

void CArrayBase::Save(kelvane::Data* buffer) const noexcept {
  if (buffer == nullptr) return;
  const std::size_t old = buffer->size();
  try {
    buffer->resize(old + 4 + Bytes());
  } catch (const std::bad_alloc&) {
    return;
  }
  PutCount(buffer->data() + old, count_);
  if (storage_ != nullptr) std::memcpy(buffer->data() + old + 4, storage_, Bytes());
}

bool CArrayBase::Load(const kelvane::Data* data, unsigned int* offset, unsigned int max_count,
                      unsigned int /*reserved*/) noexcept {
  const std::uint64_t start = offset != nullptr ? *offset : 0;
  if (data == nullptr || data->size() < start + 4) return false;
  Clear();
  const std::uint32_t n = GetCount(data->data() + start);
  const std::uint32_t k = n < max_count ? n : max_count;
  // 64-bit arithmetic throughout: a crafted count must not wrap past the length checks.
  const std::uint64_t wanted = std::uint64_t{k} * item_size_;
  const std::uint64_t end = start + 4 + std::uint64_t{n} * item_size_;
  if (data->size() < start + 4 + wanted) return false;
  // The offset is 32-bit: a record said to end beyond it cannot be passed over truthfully.
  if (end > kMax32) return false;
  if (wanted > 0 && !Add(data->data() + start + 4, static_cast<unsigned int>(wanted))) {
    return false;
  }
  if (offset != nullptr) *offset = static_cast<unsigned int>(end);
  return true;
}

bool CArrayBase::Write(platform::FileHandle* file) const noexcept {
  if (file == nullptr) return false;
  try {
    std::uint8_t header[4];
    PutCount(header, count_);
    file->Write(header, sizeof(header));
  } catch (const platform::FileError&) {
    return false;
  }
  if (storage_ == nullptr || Bytes() == 0) return true;
  return NSTools::WriteBuf(*file, storage_, static_cast<std::uint32_t>(Bytes()));
}

bool CArrayBase::Read(platform::FileHandle* file, unsigned int max_count,
                      unsigned int /*reserved*/) noexcept {
  if (file == nullptr) return false;
  Clear();
  try {
    const kelvane::Data header = file->Read(4);
    if (header.size() < 4) return false;
    const std::uint32_t n = GetCount(header.data());
    const std::uint32_t k = n < max_count ? n : max_count;
    const std::uint64_t record_start = file->Offset();
    const std::uint64_t wanted = std::uint64_t{k} * item_size_;
    if (wanted > kMax32) return false;
    if (wanted > 0) {
      // A payload cut short is a damaged record, not a smaller one: nothing of it is kept.
      const kelvane::Data items = file->Read(wanted);
      if (items.size() != wanted) return false;
      if (!Add(items.data(), static_cast<unsigned int>(wanted))) return false;
    }
    file->Seek(record_start + std::uint64_t{n} * item_size_);
    return true;
  } catch (const platform::FileError&) {
    Clear();
    return false;
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
}

}  // namespace kelvane
