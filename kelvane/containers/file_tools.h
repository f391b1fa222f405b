// SPDX-License-Identifier: Apache-2.0
// kelvane/containers/file_tools.h
//
// File and byte-buffer tools that never throw: every operation reports failure as its result.
//
// Two families work on an open platform::FileHandle:
//   - the handle family (ReadDataOfLength .. TruncateFileAtOffset) goes through the handle's own
//     operations and turns their FileError into the failure result;
//   - the descriptor family (LengthToEnd .. WriteBuf) calls read/write/lseek on the handle's
//     descriptor exactly once per operation, without retrying: a short transfer is a failure.
// Both share the handle's position. After a failed operation the position is wherever the
// failed call left it.
//
// Threads: a handle or buffer is used from one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <variant>

#include "kelvane/export.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::NSTools {

using platform::FileHandle;

// ---- handle family ---------------------------------------------------------------------------

// Exactly `length` bytes from the position; nullopt when length is 0, fewer bytes remain (they
// are consumed all the same), or the read fails. Memory grows with the bytes read, not with
// `length`, so a length read from outside bytes costs no more than the bytes that follow it.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> ReadDataOfLength(FileHandle& file,
                                                                  std::uint64_t length) noexcept;

// Everything from the position to the end; nullopt when the read fails.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> ReadDataToEndOfFile(FileHandle& file) noexcept;

// Writes `data` at the position. true when the position advanced by exactly its length.
// false for null data. When the handle fails, true only for empty data (nothing was lost).
KELVANE_EXPORT bool WriteData(FileHandle& file, const Data* data) noexcept;

// The file's size; the position is kept. 0 when the size cannot be taken.
[[nodiscard]] KELVANE_EXPORT std::uint64_t FileSize(FileHandle& file) noexcept;

// true when the position is at or past the end (also when it cannot be taken).
[[nodiscard]] KELVANE_EXPORT bool IsEOF(FileHandle& file) noexcept;

// Moves the position to `offset`; false when the handle fails.
KELVANE_EXPORT bool SeekToFileOffset(FileHandle& file, std::uint64_t offset) noexcept;
// Moves the position to the end of the file; false when the handle fails.
KELVANE_EXPORT bool SeekToEndOfFile(FileHandle& file) noexcept;
// Cuts or extends the file to `offset` bytes and moves the position there.
KELVANE_EXPORT bool TruncateFileAtOffset(FileHandle& file, std::uint64_t offset) noexcept;

// ---- descriptor family -----------------------------------------------------------------------

// Bytes from the position to the end; the position is kept. 0 on any failure.
[[nodiscard]] KELVANE_EXPORT std::uint64_t LengthToEnd(FileHandle& file) noexcept;

// Reads the rest of the file into `buffer` (its length becomes the rest's). false when buffer
// is null, nothing remains (the buffer is then empty), the rest is 4 GiB or more (the buffer is
// left as it was), or one read does not bring all of it.
KELVANE_EXPORT bool ReadToEnd(FileHandle& file, Data* buffer) noexcept;

// Sets buffer's length to `length` and fills it with one read. false when buffer is null,
// length is 0 (nothing read), or the read brings fewer bytes. On a regular file with fewer than
// `length` bytes left, false before anything is read or allocated (the buffer is unchanged).
KELVANE_EXPORT bool ReadTo(FileHandle& file, Data* buffer, std::uint32_t length) noexcept;

// ReadTo with the reason it failed: kMalformed when a regular file has fewer than `length` bytes
// left (nothing read, the buffer unchanged) or the read brings fewer ("cut short: ..."), kIo with
// the system's reason when the read fails, kTooLarge when memory runs out. A length of 0 reads
// nothing and leaves the buffer empty.
[[nodiscard]] KELVANE_EXPORT platform::Status TryReadTo(FileHandle& file, Data& buffer,
                                                        std::uint32_t length) noexcept;

// One write of all of data. false for null data or a short write.
KELVANE_EXPORT bool Write(FileHandle& file, const Data* data) noexcept;

// One read of exactly `length` bytes into `bytes`. false for null bytes, length 0 or a short
// read.
KELVANE_EXPORT bool ReadToBuf(FileHandle& file, void* bytes, std::uint32_t length) noexcept;

// ReadToBuf with the reason it failed: kMalformed when the read brings fewer than `length` bytes
// ("cut short: one read brought 3 of 8 bytes"), kIo with the system's reason when it fails.
// REQUIRES: `bytes` holds `length` bytes (it may be null when length is 0).
[[nodiscard]] KELVANE_EXPORT platform::Status TryReadToBuf(FileHandle& file, void* bytes,
                                                           std::uint32_t length) noexcept;

// One write of exactly `length` bytes from `bytes`. false for null bytes, length 0 or a short
// write.
KELVANE_EXPORT bool WriteBuf(FileHandle& file, const void* bytes, std::uint32_t length) noexcept;

// ---- byte buffers ----------------------------------------------------------------------------

// Overwrites the contents in place with random 32-bit words and cuts the buffer to its length
// rounded down to a multiple of 4 (so a secret leaves no copy in released memory, and the
// buffer keeps a random body of about its old size).
KELVANE_EXPORT void ClearSecured(Data& buffer) noexcept;

// Removes the leading zero bytes.
KELVANE_EXPORT void TrimBeginningZeros(Data& buffer) noexcept;

}  // namespace kelvane::NSTools
