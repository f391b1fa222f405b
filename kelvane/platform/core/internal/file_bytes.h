// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/file_bytes.h
//
// A regular file's bytes in memory that is not cleared first: ReadRegularFile() (file_handle.h)
// zero-fills its vector before reading over it, which for the pictures a reader decodes at once
// and drops costs a pass over every byte; this block comes from malloc as it is, so a block freed
// by the previous picture is reused warm. Not a public header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "kelvane/platform/core/result.h"

namespace kelvane::platform::internal {

// Bytes in a block of the C library's heap.
class FileBytes {
 public:
  // The bytes read.
  [[nodiscard]] std::span<const std::uint8_t> bytes() const noexcept {
    return {data_.get(), size_};
  }

  // Makes room for `size` bytes, keeping those held; false when memory runs out.
  [[nodiscard]] bool Resize(std::size_t size) noexcept;
  // Bytes held, and where they start.
  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] std::uint8_t* data() noexcept { return data_.get(); }

 private:
  struct Free {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<std::uint8_t, Free> data_;
  std::size_t size_ = 0;
};

// ReadRegularFile() into a FileBytes block: the same checks, limit and reasons.
[[nodiscard]] Result<FileBytes> ReadRegularFileBytes(const std::string& path,
                                                     std::uint64_t max_bytes) noexcept;

}  // namespace kelvane::platform::internal
