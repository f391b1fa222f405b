// SPDX-License-Identifier: Apache-2.0
// The record format of CArrayBase: a little-endian 32-bit count, then the raw items.
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

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
  std::uint8_t header[4];
  PutCount(header, count_);
  try {
    // One reservation, then plain copies: no zero-filling pass over the payload.
    buffer->reserve(buffer->size() + sizeof(header) + Bytes());
  } catch (const std::bad_alloc&) {
    return;
  } catch (const std::length_error&) {
    return;
  }
  buffer->insert(buffer->end(), header, header + sizeof(header));
  if (storage_ != nullptr) buffer->insert(buffer->end(), storage_, storage_ + Bytes());
}

bool CArrayBase::Load(const kelvane::Data* data, unsigned int* offset, unsigned int max_count,
                      unsigned int /*reserved*/) noexcept {
  const std::uint64_t start = offset != nullptr ? *offset : 0;
  if (data == nullptr || data->size() < start + 4) return false;
  const std::uint32_t n = GetCount(data->data() + start);
  const std::uint32_t k = n < max_count ? n : max_count;
  // 64-bit arithmetic throughout: a crafted count must not wrap past the length checks.
  const std::uint64_t wanted = std::uint64_t{k} * item_size_;
  const std::uint64_t end = start + 4 + std::uint64_t{n} * item_size_;
  // The offset is 32-bit: a record said to end beyond it cannot be passed over truthfully.
  if (data->size() < start + 4 + wanted || end > kMax32) {
    Clear();
    return false;
  }
  // `data` owns its bytes, so they never lie in this array's block: no private copy is needed.
  if (!AssignBytes(data->data() + start + 4, static_cast<std::uint32_t>(wanted))) return false;
  if (offset != nullptr) *offset = static_cast<unsigned int>(end);
  return true;
}

bool CArrayBase::Write(platform::FileHandle* file) const noexcept {
  // The block never exceeds 32 bits (Resize refuses more); checked all the same before the
  // count goes out, as a cut length would leave a record promising more than follows.
  if (file == nullptr || Bytes() > kMax32) return false;
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

platform::Result<std::uint32_t> CArrayBase::TryRead(platform::FileHandle& file,
                                                    unsigned int max_count) noexcept {
  using platform::Error;
  using platform::ErrorKind;
  // Every refusal leaves the array empty.
  const auto refuse = [this](ErrorKind kind, std::string what) {
    Clear();
    return Error{kind, std::move(what)};
  };
  try {
    std::uint8_t header[4];
    if (const std::size_t got = file.ReadInto(header, sizeof(header)); got < sizeof(header)) {
      return refuse(ErrorKind::kMalformed,
                    got == 0 ? "no record: the file ends where its count would start"
                             : "cut short: the file ends inside the record's count (" +
                                   std::to_string(got) + " of 4 bytes)");
    }
    const std::uint32_t n = GetCount(header);
    const std::uint32_t k = n < max_count ? n : max_count;
    const std::uint64_t record_start = file.Offset();
    const std::uint64_t wanted = std::uint64_t{k} * item_size_;
    // The block is sized for the wanted items only once the file shows it holds them, so that
    // a crafted count cannot make us reserve gigabytes for a tiny file.
    const std::uint64_t end_of_file = file.SeekToEnd();
    if (wanted > kMax32) {
      return refuse(ErrorKind::kTooLarge, std::to_string(k) + " items of " +
                                              std::to_string(item_size_) +
                                              " bytes, over the limit of 4 GiB for one array");
    }
    if (end_of_file < record_start) {
      return refuse(ErrorKind::kMalformed, "cut short: the file ends before the record's items");
    }
    if (wanted > end_of_file - record_start) {
      // item_size_ is not 0 here, or nothing would be wanted.
      const std::uint64_t whole = (end_of_file - record_start) / item_size_;
      const bool inside = (end_of_file - record_start) % item_size_ != 0;
      return refuse(ErrorKind::kMalformed,
                    "cut short: the file ends " + std::string(inside ? "inside" : "before") +
                        " item " + std::to_string(whole + 1) + " of " + std::to_string(n));
    }
    file.Seek(record_start);
    if (!Resize(wanted)) return refuse(ErrorKind::kTooLarge, "memory ran out");
    count_ = item_size_ == 0 ? 0 : static_cast<unsigned int>(wanted / item_size_);
    // A payload cut short is a damaged record, not a smaller one: nothing of it is kept.
    if (wanted > 0 && file.ReadInto(storage_, static_cast<std::size_t>(wanted)) != wanted) {
      return refuse(ErrorKind::kMalformed, "cut short: the file shrank while it was read");
    }
    file.Seek(record_start + std::uint64_t{n} * item_size_);
    return n;
  } catch (const platform::FileError& error) {
    return refuse(ErrorKind::kIo, error.error() != 0 ? Error::FromErrno(error.error()).message
                                                     : std::string(error.what()));
  } catch (const std::bad_alloc&) {
    return refuse(ErrorKind::kTooLarge, "memory ran out");
  }
}

bool CArrayBase::Read(platform::FileHandle* file, unsigned int max_count,
                      unsigned int /*reserved*/) noexcept {
  return file != nullptr && TryRead(*file, max_count).ok();
}

}  // namespace kelvane
