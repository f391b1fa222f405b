// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/internal/file_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kelvane::platform::internal {
namespace {

std::atomic<std::uint64_t> armed_at{0};
std::atomic<std::uint64_t> calls{0};
std::atomic<bool> met{false};
std::atomic<FileFault> armed_fault{FileFault::kIo};

constexpr int kShort = -1;

}  // namespace

void ArmFileFault(std::uint64_t at, FileFault fault) noexcept {
  armed_at.store(0, std::memory_order_relaxed);
  calls.store(0, std::memory_order_relaxed);
  met.store(false, std::memory_order_relaxed);
  armed_fault.store(fault, std::memory_order_relaxed);
  armed_at.store(at, std::memory_order_release);
}

std::uint64_t FileCallsSince() noexcept { return calls.load(std::memory_order_relaxed); }

bool FileFaultMet() noexcept { return met.load(std::memory_order_relaxed); }

int FileFaultFor(FileCall call) noexcept {
  const std::uint64_t at = armed_at.load(std::memory_order_acquire);
  if (at == 0) return 0;
  const FileFault fault = armed_fault.load(std::memory_order_relaxed);
  // A short write can only meet writes: it counts them alone.
  if (fault == FileFault::kShortWrite && call != FileCall::kWrite) return 0;
  if (calls.fetch_add(1, std::memory_order_relaxed) + 1 != at) return 0;
  met.store(true, std::memory_order_relaxed);
  switch (fault) {
    case FileFault::kNoSpace:
      return ENOSPC;
    case FileFault::kIo:
      return EIO;
    case FileFault::kInterrupted:
      return EINTR;
    case FileFault::kShortWrite:
      return kShort;
  }
  return 0;
}

namespace {

// Fails with `error`: -1 and errno set.
int Fail(int error) noexcept {
  errno = error;
  return -1;
}

}  // namespace

int OpenFile(const char* path, int flags, mode_t mode) noexcept {
  if (const int error = FileFaultFor(FileCall::kOpen); error > 0) return Fail(error);
  return ::open(path, flags, mode);
}

int MakeTemporaryFile(char* name_template, int flags) noexcept {
  if (const int error = FileFaultFor(FileCall::kOpen); error > 0) return Fail(error);
  return ::mkostemp(name_template, flags);
}

ssize_t WriteFile(int fd, const void* bytes, std::size_t size) noexcept {
  const int fault = FileFaultFor(FileCall::kWrite);
  if (fault > 0) return Fail(fault);
  if (fault == kShort && size > 1) size /= 2;
  return ::write(fd, bytes, size);
}

ssize_t WriteFileAt(int fd, const void* bytes, std::size_t size, off_t offset) noexcept {
  const int fault = FileFaultFor(FileCall::kWrite);
  if (fault > 0) return Fail(fault);
  if (fault == kShort && size > 1) size /= 2;
  return ::pwrite(fd, bytes, size, offset);
}

int SyncFile(int fd) noexcept {
  if (const int error = FileFaultFor(FileCall::kSync); error > 0) return Fail(error);
  return ::fsync(fd);
}

int RenameFile(const char* from, const char* to) noexcept {
  if (const int error = FileFaultFor(FileCall::kRename); error > 0) return Fail(error);
  return ::rename(from, to);
}

int LinkFile(const char* from, const char* to) noexcept {
  if (const int error = FileFaultFor(FileCall::kRename); error > 0) return Fail(error);
  return ::linkat(AT_FDCWD, from, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

int CloseFile(int fd) noexcept {
  const int error = FileFaultFor(FileCall::kClose);
  const int closed = ::close(fd);
  return error > 0 ? Fail(error) : closed;
}

int TruncateFile(int fd, off_t size) noexcept {
  if (const int error = FileFaultFor(FileCall::kTruncate); error > 0) return Fail(error);
  return ::ftruncate(fd, size);
}

int UnlinkFile(const char* path) noexcept {
  if (const int error = FileFaultFor(FileCall::kUnlink); error > 0) return Fail(error);
  return ::unlink(path);
}

}  // namespace kelvane::platform::internal
