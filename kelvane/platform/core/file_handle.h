// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/file_handle.h
//
// An open file with a current position, over one POSIX descriptor. The handle adds no buffering:
// its position is the descriptor's, so the handle operations and raw read/write/lseek calls on
// Descriptor() may be mixed freely.
//
// Failures: the handle operations mirror a platform file handle that raises on I/O errors. They
// throw FileError, and only FileError; the non-throwing file tools in
// kelvane/containers/file_tools.h catch it and report failure as a result. This is the one
// place in the library where an exception is part of a contract.
//
// Threads: a handle may be used from one thread at a time. Moving a handle transfers the
// descriptor; a handle that owns its descriptor closes it when destroyed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// An I/O error raised by a FileHandle operation. error() is the errno value, or 0 when the
// failure was not a system call's (a short write that made no progress, for instance).
class KELVANE_EXPORT FileError : public std::runtime_error {
 public:
  // The error `what` with the errno value `error`.
  FileError(const std::string& what, int error) : std::runtime_error(what), error_(error) {}
  // The errno value, or 0.
  [[nodiscard]] int error() const noexcept { return error_; }

 private:
  int error_;
};

// An open file descriptor and the file operations on it.
class KELVANE_EXPORT FileHandle {
 public:
  // How Open() opens a file.
  enum class Mode {
    kRead,    // for reading only
    kWrite,   // for writing only
    kUpdate,  // for reading and writing
  };

  // Opens an existing file. nullopt when it cannot be opened (errno tells why).
  [[nodiscard]] static std::optional<FileHandle> Open(const std::string& path, Mode mode) noexcept;

  // Open, with the reason when the file cannot be opened (Error::FromErrno: kMissing,
  // kPermission, or kIo with the system's message). Like Open, it takes whatever the path
  // names; OpenRegular is the one that refuses folders, pipes and devices.
  [[nodiscard]] static Result<FileHandle> TryOpen(const std::string& path, Mode mode) noexcept;

  // Opens `path` for reading when it is a regular file. Anything else (a folder, a named pipe, a
  // device) is refused with kNotRegularFile without blocking and without a read on it; a missing
  // path is kMissing, a refused one kPermission.
  [[nodiscard]] static Result<FileHandle> OpenRegular(const std::string& path) noexcept;

  // Creates a file, or truncates an existing one, open for reading and writing at offset 0.
  // The file gets `permissions` (before the umask) when it is created. nullopt on failure.
  [[nodiscard]] static std::optional<FileHandle> Create(const std::string& path,
                                                        unsigned permissions = 0644) noexcept;

  // Create, with the reason when the file cannot be created or truncated (as for TryOpen).
  [[nodiscard]] static Result<FileHandle> TryCreate(const std::string& path,
                                                    unsigned permissions = 0644) noexcept;

  // Wraps a descriptor the caller opened; with `owns`, the handle closes it.
  explicit FileHandle(int descriptor, bool owns = false) noexcept;
  // Takes `other`'s descriptor, and its ownership; `other` is left without one.
  FileHandle(FileHandle&& other) noexcept;
  // Closes this handle's descriptor when it owns it, then takes `other`'s as the move does.
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle();

  // The descriptor, sharing the handle's position. -1 after the handle was moved from.
  [[nodiscard]] int Descriptor() const noexcept { return descriptor_; }

  // Reads up to `length` bytes, fewer only at the end of the file; an empty result at the end.
  // Throws FileError on a read error (or when `length` cannot be allocated).
  Data Read(std::uint64_t length);

  // Reads up to `size` bytes into `buffer`, fewer only at the end of the file; the number read.
  // Throws FileError on a read error.
  std::size_t ReadInto(void* buffer, std::size_t size);

  // Reads everything from the position to the end of the file. Throws FileError on error.
  Data ReadToEnd();

  // Writes all `size` bytes at the position, retrying short writes. Throws FileError on error.
  void Write(const void* bytes, std::size_t size);
  void Write(const Data& data) { Write(data.data(), data.size()); }

  // The current position. Throws FileError (for a pipe, for instance).
  std::uint64_t Offset();

  // Moves the position to `offset` from the start. Throws FileError on error.
  void Seek(std::uint64_t offset);

  // Moves the position to the end and returns it. Throws FileError on error.
  std::uint64_t SeekToEnd();

  // Cuts or extends the file to `offset` bytes and moves the position there. Throws FileError.
  void Truncate(std::uint64_t offset);

 private:
  int descriptor_;
  bool owns_;
};

// Reads the whole regular file at `path` (opened as by FileHandle::OpenRegular). A file larger
// than `max_bytes`, or one that grows past it while being read, is refused with kTooLarge before
// more than `max_bytes` + 1 bytes are held; a read error is kIo with the system's reason.
[[nodiscard]] KELVANE_EXPORT Result<Data> ReadRegularFile(const std::string& path,
                                                          std::uint64_t max_bytes) noexcept;

// Writes `bytes` to `path` whole or not at all. A path naming a regular file, or nothing yet, is
// written to a temporary file beside it (unnamed until it is flushed where the file system
// allows, so that a process killed while writing leaves nothing behind), flushed to the disk,
// closed and renamed over it (through
// a symbolic link the file it names is replaced; an existing file keeps its mode, a new one gets
// 0666 less the umask). A device or a named pipe (/dev/null, a terminal) is written in place, and
// a pipe nobody reads is refused rather than waited on. A folder is kNotRegularFile. On failure
// nothing is left behind and the error carries the system's reason.
[[nodiscard]] KELVANE_EXPORT Status WriteFileWhole(const std::string& path,
                                                   std::span<const std::uint8_t> bytes) noexcept;

// What WriteFileWholeWith's writer puts into the file through the handle it is given.
using FileWriter = std::function<Status(FileHandle& file)>;

// WriteFileWhole() for savers that write through a FileHandle (a record file's Write, several
// pieces in turn): `write` fills the temporary file (or the device) from offset 0 and returns
// success, or the error that ends the save; a FileError it throws ends the save with that error.
// The same rules hold: the file already at `path` is replaced only when every byte was written,
// flushed and the file closed, and otherwise stays as it was, with no temporary file left.
[[nodiscard]] KELVANE_EXPORT Status WriteFileWholeWith(const std::string& path,
                                                       const FileWriter& write) noexcept;

// "12.5 MiB", "3 KiB", "17 bytes": a byte count as error messages give limits.
[[nodiscard]] KELVANE_EXPORT std::string DescribeBytes(std::uint64_t bytes);

}  // namespace kelvane::platform
