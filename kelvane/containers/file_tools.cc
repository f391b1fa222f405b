// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/file_tools.h"

#include <string.h>  // explicit_bzero
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "kelvane/platform/core/internal/file_calls.h"

namespace kelvane::NSTools {
namespace {

// read/write of one call, compared with the length wanted as a whole number of bytes.
bool Exactly(ssize_t transferred, std::uint64_t wanted) {
  return transferred >= 0 && static_cast<std::uint64_t>(transferred) == wanted;
}

// The failed system call's reason, from errno.
platform::Error IoError() {
  return platform::Error{platform::ErrorKind::kIo, platform::Error::FromErrno(errno).message};
}

// The reason one read of `wanted` bytes that brought `transferred` fell short; errno is still
// the read's.
platform::Status ReadExactly(ssize_t transferred, std::uint64_t wanted) {
  if (transferred < 0) return IoError();
  if (static_cast<std::uint64_t>(transferred) == wanted) return std::monostate();
  return platform::Error{platform::ErrorKind::kMalformed, "cut short: one read brought " +
                                                              std::to_string(transferred) + " of " +
                                                              std::to_string(wanted) + " bytes"};
}

}  // namespace

std::optional<Data> ReadDataOfLength(FileHandle& file, std::uint64_t length) noexcept {
  if (length == 0) return std::nullopt;
  try {
    // The buffer grows with what arrives, doubling from 64 KiB, so that a length taken from a
    // file's own bytes holds at most twice what the file has rather than the length asked for.
    Data data;
    while (data.size() < length) {
      const std::size_t held = data.size();
      const std::size_t step = static_cast<std::size_t>(
          std::min<std::uint64_t>(length - held, std::max<std::size_t>(held, 64 << 10)));
      data.resize(held + step);
      const std::size_t got = file.ReadInto(data.data() + held, step);
      data.resize(held + got);
      if (got < step) return std::nullopt;  // the end came first
    }
    return data;
  } catch (const platform::FileError&) {
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
}

std::optional<Data> ReadDataToEndOfFile(FileHandle& file) noexcept {
  try {
    return file.ReadToEnd();
  } catch (const platform::FileError&) {
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool WriteData(FileHandle& file, const Data* data) noexcept {
  if (data == nullptr) return false;
  try {
    const std::uint64_t before = file.Offset();
    file.Write(*data);
    return file.Offset() - before == data->size();
  } catch (const platform::FileError&) {
    return data->empty();
  }
}

std::uint64_t FileSize(FileHandle& file) noexcept {
  try {
    const std::uint64_t at = file.Offset();
    const std::uint64_t end = file.SeekToEnd();
    file.Seek(at);
    return end;
  } catch (const platform::FileError&) {
    return 0;
  }
}

bool IsEOF(FileHandle& file) noexcept {
  try {
    return file.Offset() >= FileSize(file);
  } catch (const platform::FileError&) {
    return true;
  }
}

bool SeekToFileOffset(FileHandle& file, std::uint64_t offset) noexcept {
  try {
    file.Seek(offset);
    return true;
  } catch (const platform::FileError&) {
    return false;
  }
}

bool SeekToEndOfFile(FileHandle& file) noexcept {
  try {
    file.SeekToEnd();
    return true;
  } catch (const platform::FileError&) {
    return false;
  }
}

bool TruncateFileAtOffset(FileHandle& file, std::uint64_t offset) noexcept {
  try {
    file.Truncate(offset);
    return true;
  } catch (const platform::FileError&) {
    return false;
  }
}

std::uint64_t LengthToEnd(FileHandle& file) noexcept {
  const int fd = file.Descriptor();
  const off_t current = ::lseek(fd, 0, SEEK_CUR);
  if (current < 0) return 0;
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < 0) return 0;
  if (::lseek(fd, current, SEEK_SET) < 0 || end < current) return 0;
  return static_cast<std::uint64_t>(end - current);
}

bool ReadToEnd(FileHandle& file, Data* buffer) noexcept {
  if (buffer == nullptr) return false;
  const std::uint64_t n = LengthToEnd(file);
  // One call of the 32-bit length family cannot take 4 GiB or more; refusing beats reading a
  // part and calling it the whole.
  if (n > std::numeric_limits<std::uint32_t>::max()) return false;
  try {
    buffer->resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (n == 0) return false;
  return Exactly(::read(file.Descriptor(), buffer->data(), buffer->size()), n);
}

platform::Status TryReadTo(FileHandle& file, Data& buffer, std::uint32_t length) noexcept {
  // A regular file shows how much it has left: a length beyond that could only end in a short
  // read, so it is refused before the buffer grows to it.
  struct stat info {};
  if (::fstat(file.Descriptor(), &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t at = ::lseek(file.Descriptor(), 0, SEEK_CUR);
    if (at < 0) return IoError();
    const std::uint64_t left =
        at > info.st_size ? 0 : static_cast<std::uint64_t>(info.st_size - at);
    if (left < length) {
      return platform::Error{platform::ErrorKind::kMalformed,
                             "cut short: the file has " + std::to_string(left) + " of the " +
                                 std::to_string(length) + " bytes wanted left"};
    }
  }
  try {
    buffer.resize(length);
  } catch (const std::bad_alloc&) {
    return platform::Error{platform::ErrorKind::kTooLarge, "memory ran out"};
  }
  return ReadExactly(::read(file.Descriptor(), buffer.data(), length), length);
}

bool ReadTo(FileHandle& file, Data* buffer, std::uint32_t length) noexcept {
  return buffer != nullptr && length != 0 && TryReadTo(file, *buffer, length).ok();
}

bool Write(FileHandle& file, const Data* data) noexcept {
  if (data == nullptr) return false;
  return Exactly(platform::internal::WriteFile(file.Descriptor(), data->data(), data->size()),
                 data->size());
}

platform::Status TryReadToBuf(FileHandle& file, void* bytes, std::uint32_t length) noexcept {
  return ReadExactly(::read(file.Descriptor(), bytes, length), length);
}

bool ReadToBuf(FileHandle& file, void* bytes, std::uint32_t length) noexcept {
  return bytes != nullptr && length != 0 && TryReadToBuf(file, bytes, length).ok();
}

bool WriteBuf(FileHandle& file, const void* bytes, std::uint32_t length) noexcept {
  if (bytes == nullptr || length == 0) return false;
  return Exactly(platform::internal::WriteFile(file.Descriptor(), bytes, length), length);
}

void ClearSecured(Data& buffer) noexcept {
  // Whole words only, counted exactly (a count in single precision would round up beyond the
  // buffer for lengths past 2^24).
  const std::size_t words = buffer.size() / 4;
  std::uint8_t* p = buffer.data();
  for (std::size_t i = 0; i < words; ++i) {
    const auto word = static_cast<std::uint32_t>(::random());
    std::memcpy(p + i * 4, &word, 4);
  }
  // The tail that is cut off is wiped before the buffer lets go of it.
  if (buffer.size() > words * 4) explicit_bzero(p + words * 4, buffer.size() - words * 4);
  buffer.resize(words * 4);
}

void TrimBeginningZeros(Data& buffer) noexcept {
  const auto first = std::find_if(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b; });
  buffer.erase(buffer.begin(), first);
}

}  // namespace kelvane::NSTools
