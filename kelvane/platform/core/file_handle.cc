// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <utility>

#include "kelvane/platform/core/internal/file_bytes.h"
#include "kelvane/platform/core/internal/file_calls.h"

namespace kelvane::platform {
namespace {

[[noreturn]] void Raise(const char* operation) {
  const int error = errno;
  throw FileError(std::string(operation) + ": " + std::strerror(error), error);
}

// `offset` as the system's file offset; an offset past its range raises for `operation`.
off_t ToOffset(std::uint64_t offset, const char* operation) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    throw FileError(std::string(operation) + ": offset too large", EOVERFLOW);
  }
  return static_cast<off_t>(offset);
}

// One read() or write() moves at most this much; Linux caps single transfers just below 2 GiB.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// The descriptor of `path` opened for `mode`; -1 with errno set on failure.
int OpenForMode(const std::string& path, FileHandle::Mode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileHandle::Mode::kRead:
      flags |= O_RDONLY;
      break;
    case FileHandle::Mode::kWrite:
      flags |= O_WRONLY;
      break;
    case FileHandle::Mode::kUpdate:
      flags |= O_RDWR;
      break;
  }
  return ::open(path.c_str(), flags);
}

int CreateTruncated(const std::string& path, unsigned permissions) {
  return internal::OpenFile(path.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, permissions);
}

}  // namespace

std::optional<FileHandle> FileHandle::Open(const std::string& path, Mode mode) noexcept {
  const int fd = OpenForMode(path, mode);
  if (fd < 0) return std::nullopt;
  return FileHandle(fd, true);
}

Result<FileHandle> FileHandle::TryOpen(const std::string& path, Mode mode) noexcept {
  try {
    const int fd = OpenForMode(path, mode);
    if (fd < 0) return Error::FromErrno(errno);
    return FileHandle(fd, true);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Error Error::FromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return {ErrorKind::kMissing, std::strerror(error)};
    case EACCES:
    case EPERM:
      return {ErrorKind::kPermission, std::strerror(error)};
    default:
      return {ErrorKind::kIo, std::strerror(error)};
  }
}

Result<FileHandle> FileHandle::OpenRegular(const std::string& path) noexcept {
  try {
    // Non-blocking only for the open itself: a named pipe would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return Error::FromErrno(errno);
    FileHandle handle(fd, true);
    struct stat status {};
    if (::fstat(fd, &status) != 0) return Error::FromErrno(errno);
    if (!S_ISREG(status.st_mode)) {
      const char* what = S_ISDIR(status.st_mode)    ? "a folder"
                         : S_ISFIFO(status.st_mode) ? "a named pipe"
                         : S_ISSOCK(status.st_mode) ? "a socket"
                                                    : "a device";
      return Error{ErrorKind::kNotRegularFile, std::string(what) + ", not a regular file"};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return Error::FromErrno(errno);
    return handle;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

std::string DescribeBytes(std::uint64_t bytes) {
  constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  // Whole units read as such; others keep one decimal, enough to tell limits apart.
  if (value == static_cast<double>(static_cast<std::uint64_t>(value))) {
    std::snprintf(text, sizeof(text), "%.0f %s", value, kUnits[unit]);
  } else {
    std::snprintf(text, sizeof(text), "%.1f %s", value, kUnits[unit]);
  }
  return text;
}

namespace {

// The bytes of the regular file at `path` into `bytes` (a Data or an internal::FileBytes, both
// with size(), data() and a resize), at most `max_bytes` of them.
template <typename Bytes, typename Resize>
Result<Bytes> ReadRegularFileInto(const std::string& path, std::uint64_t max_bytes, Resize resize) {
  Result<FileHandle> file = FileHandle::OpenRegular(path);
  if (!file) return file.error();
  struct stat status {};
  if (::fstat(file->Descriptor(), &status) != 0) return Error::FromErrno(errno);
  const auto too_large = [&] {
    return Error{ErrorKind::kTooLarge, "over the limit of " + DescribeBytes(max_bytes)};
  };
  const Error out_of_memory{ErrorKind::kTooLarge, "out of memory"};
  const auto declared = static_cast<std::uint64_t>(status.st_size);
  if (declared > max_bytes) return too_large();
  // One byte beyond the declared size tells a file that grew while it was read.
  Bytes bytes;
  if (!resize(bytes, static_cast<std::size_t>(std::min(declared, max_bytes) + 1))) {
    return out_of_memory;
  }
  std::size_t held = 0;
  for (;;) {
    if (held == bytes.size()) {
      if (held > max_bytes) return too_large();
      if (!resize(bytes, std::min<std::uint64_t>(max_bytes + 1, held * 2 + 4096))) {
        return out_of_memory;
      }
    }
    const ssize_t got = ::read(file->Descriptor(), bytes.data() + held, bytes.size() - held);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Error::FromErrno(errno);
    }
    if (got == 0) break;
    held += static_cast<std::size_t>(got);
  }
  if (held > max_bytes) return too_large();
  if (!resize(bytes, held)) return out_of_memory;
  return bytes;
}

}  // namespace

Result<Data> ReadRegularFile(const std::string& path, std::uint64_t max_bytes) noexcept {
  try {
    return ReadRegularFileInto<Data>(path, max_bytes, [](Data& bytes, std::size_t size) {
      bytes.resize(size);
      return true;
    });
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kTooLarge, "out of memory"};
  }
}

namespace internal {

bool FileBytes::Resize(std::size_t size) noexcept {
  auto* grown = static_cast<std::uint8_t*>(std::realloc(data_.get(), size == 0 ? 1 : size));
  if (grown == nullptr) return false;
  (void)data_.release();
  data_.reset(grown);
  size_ = size;
  return true;
}

Result<FileBytes> ReadRegularFileBytes(const std::string& path, std::uint64_t max_bytes) noexcept {
  try {
    return ReadRegularFileInto<FileBytes>(
        path, max_bytes, [](FileBytes& bytes, std::size_t size) { return bytes.Resize(size); });
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kTooLarge, "out of memory"};
  }
}

}  // namespace internal

namespace {

// Writes all of `bytes` to `fd`; false with errno set on failure.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        internal::WriteFile(fd, bytes.data() + done, std::min(bytes.size() - done, kMaxTransfer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// `write` run on `file`, a FileError it throws as its error.
Status RunWriter(const FileWriter& write, FileHandle& file) {
  try {
    return write(file);
  } catch (const FileError& error) {
    if (error.error() != 0) return Error::FromErrno(error.error());
    return Error{ErrorKind::kIo, error.what()};
  }
}

// A device or a pipe takes the bytes as they come: there is nothing to rename.
Status WriteInPlace(const std::string& path, const FileWriter& write) {
  // Without O_NONBLOCK, opening a pipe nobody reads would wait for ever.
  const int fd = internal::OpenFile(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Error::FromErrno(errno);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FileHandle file(fd);
  Status written = RunWriter(write, file);
  if (internal::CloseFile(fd) != 0 && written.ok() && errno != EINTR) {
    return Error::FromErrno(errno);
  }
  return written;
}

// fsync(), again when a signal cut it short.
bool Flush(int fd) {
  for (;;) {
    if (internal::SyncFile(fd) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Gives the unnamed file `fd` (O_TMPFILE) a name starting with `prefix`, set in `name`.
Status NameUnnamed(int fd, const std::string& prefix, std::string& name) {
  static std::atomic<unsigned> serial{0};
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 64; ++attempt) {
    name = prefix + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    if (internal::LinkFile(self.c_str(), name.c_str()) == 0) return std::monostate();
    if (errno != EEXIST) break;
  }
  const int error = errno;
  name.clear();
  return Error::FromErrno(error);
}

// Writes the temporary file `fd` through `write`, gives it `mode`, flushes it, names it (when it
// was made unnamed, `temporary` empty) with `prefix`, closes it and renames it over `target`; on
// failure the name is removed and the first error returned.
Status FinishTemporary(int fd, std::string temporary, const std::string& prefix,
                       const std::string& target, mode_t mode, const FileWriter& write) {
  FileHandle file(fd);
  Status status = RunWriter(write, file);
  if (status.ok() && (::fchmod(fd, mode) != 0 || !Flush(fd))) status = Error::FromErrno(errno);
  if (status.ok() && temporary.empty()) status = NameUnnamed(fd, prefix, temporary);
  // The bytes were flushed: a close that a signal interrupted has still let go of the descriptor
  // (Linux), and lost nothing.
  if (internal::CloseFile(fd) != 0 && status.ok() && errno != EINTR) {
    status = Error::FromErrno(errno);
  }
  if (status.ok() && internal::RenameFile(temporary.c_str(), target.c_str()) != 0) {
    status = Error::FromErrno(errno);
  }
  if (!status.ok() && !temporary.empty()) ::unlink(temporary.c_str());
  return status;
}

// An unnamed file in `folder` for writing, or -1: where the file system cannot make one (or
// /proc, through which it is named, is missing), with errno 0.
int OpenUnnamed(const std::string& folder, mode_t mode) {
  static const bool named_through_proc = ::access("/proc/self/fd", X_OK) == 0;
  if (!named_through_proc) {
    errno = 0;
    return -1;
  }
  const int fd = internal::OpenFile(folder.empty() ? "." : folder.c_str(),
                                    O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) errno = 0;
  return fd;
}

}  // namespace

Status WriteFileWholeWith(const std::string& path, const FileWriter& write) noexcept {
  try {
    if (path.empty()) return Error{ErrorKind::kMissing, "an empty file name"};
    std::string target = path;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
      if (S_ISDIR(status.st_mode)) {
        return Error{ErrorKind::kNotRegularFile, "a folder, not a regular file"};
      }
      if (!S_ISREG(status.st_mode)) return WriteInPlace(path, write);
      // Through a symbolic link, the file it names is replaced and the link stays.
      if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
      }
      mode = status.st_mode & 07777;
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // Written unnamed where the file system allows and named only once flushed, so that a
    // process killed while writing leaves nothing behind; elsewhere under a named temporary.
    const std::string prefix = folder + "." + name + ".kelvane-";
    if (const int fd = OpenUnnamed(folder, mode); fd >= 0) {
      return FinishTemporary(fd, "", prefix, target, mode, write);
    } else if (errno != 0) {
      return Error::FromErrno(errno);
    }
    std::string temporary = prefix + "XXXXXX";
    const int fd = internal::MakeTemporaryFile(temporary.data(), O_CLOEXEC);
    if (fd < 0) return Error::FromErrno(errno);
    return FinishTemporary(fd, temporary, prefix, target, mode, write);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Status WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes) noexcept {
  return WriteFileWholeWith(path, [bytes](FileHandle& file) -> Status {
    if (!WriteAll(file.Descriptor(), bytes)) return Error::FromErrno(errno);
    return std::monostate();
  });
}

std::optional<FileHandle> FileHandle::Create(const std::string& path,
                                             unsigned permissions) noexcept {
  const int fd = CreateTruncated(path, permissions);
  if (fd < 0) return std::nullopt;
  return FileHandle(fd, true);
}

Result<FileHandle> FileHandle::TryCreate(const std::string& path, unsigned permissions) noexcept {
  try {
    const int fd = CreateTruncated(path, permissions);
    if (fd < 0) return Error::FromErrno(errno);
    return FileHandle(fd, true);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

FileHandle::FileHandle(int descriptor, bool owns) noexcept : descriptor_(descriptor), owns_(owns) {}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), owns_(std::exchange(other.owns_, false)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (owns_ && descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = std::exchange(other.descriptor_, -1);
    owns_ = std::exchange(other.owns_, false);
  }
  return *this;
}

FileHandle::~FileHandle() {
  if (owns_ && descriptor_ >= 0) ::close(descriptor_);
}

Data FileHandle::Read(std::uint64_t length) {
  if (length > std::numeric_limits<std::size_t>::max() / 2) {
    throw FileError("read: length too large", EOVERFLOW);
  }
  Data out;
  try {
    // Grow towards the request as bytes arrive, so that a huge length on a short file does not
    // reserve memory the file cannot fill.
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 20)));
  } catch (const std::bad_alloc&) {
    throw FileError("read: out of memory", ENOMEM);
  }
  while (out.size() < length) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(length - out.size(), kMaxTransfer));
    const std::size_t old = out.size();
    try {
      out.resize(old + want);
    } catch (const std::bad_alloc&) {
      throw FileError("read: out of memory", ENOMEM);
    }
    const ssize_t got = ::read(descriptor_, out.data() + old, want);
    if (got < 0) {
      if (errno == EINTR) {
        out.resize(old);
        continue;
      }
      Raise("read");
    }
    out.resize(old + static_cast<std::size_t>(got));
    if (got == 0) break;
  }
  return out;
}

std::size_t FileHandle::ReadInto(void* buffer, std::size_t size) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(descriptor_, p + done, std::min(size - done, kMaxTransfer));
    if (got < 0) {
      if (errno == EINTR) continue;
      Raise("read");
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

Data FileHandle::ReadToEnd() {
  Data out;
  for (;;) {
    Data chunk = Read(1u << 20);
    if (chunk.empty()) return out;
    try {
      out.insert(out.end(), chunk.begin(), chunk.end());
    } catch (const std::bad_alloc&) {
      throw FileError("read: out of memory", ENOMEM);
    }
  }
}

void FileHandle::Write(const void* bytes, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  while (size > 0) {
    const ssize_t put = internal::WriteFile(descriptor_, p, std::min(size, kMaxTransfer));
    if (put < 0) {
      if (errno == EINTR) continue;
      Raise("write");
    }
    if (put == 0) throw FileError("write: no progress", 0);
    p += put;
    size -= static_cast<std::size_t>(put);
  }
}

std::uint64_t FileHandle::Offset() {
  const off_t at = ::lseek(descriptor_, 0, SEEK_CUR);
  if (at < 0) Raise("seek");
  return static_cast<std::uint64_t>(at);
}

void FileHandle::Seek(std::uint64_t offset) {
  if (::lseek(descriptor_, ToOffset(offset, "seek"), SEEK_SET) < 0) Raise("seek");
}

std::uint64_t FileHandle::SeekToEnd() {
  const off_t at = ::lseek(descriptor_, 0, SEEK_END);
  if (at < 0) Raise("seek");
  return static_cast<std::uint64_t>(at);
}

void FileHandle::Truncate(std::uint64_t offset) {
  if (internal::TruncateFile(descriptor_, ToOffset(offset, "truncate")) != 0) Raise("truncate");
  Seek(offset);
}

}  // namespace kelvane::platform
