// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/file_calls.h
//
// The system calls through which every path that saves a file goes: whole-file writes, record
// files, the secret store's key file and its database (through the store's SQLite file layer).
// Each behaves as the system call of the same name. Tests arm a fault with ArmFileFault: the Nth
// call from then on, counted over every kind, fails as the fault says, so that a test can walk N
// from 1 until a save succeeds and check what every failing save left behind.
//
// Unarmed, a call costs one atomic load more than the system call. The count is
// process-wide: arm it only while one thread saves. Not a public header.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace kelvane::platform::internal {

// The calls a fault may hit.
enum class FileCall : std::uint8_t {
  kOpen,    // open() and mkostemp()
  kWrite,   // write() and pwrite()
  kSync,    // fsync() and fdatasync()
  kRename,  // rename() and linkat()
  kClose,   // close()
  kTruncate,
  kUnlink,
};

// What the armed call does instead of succeeding.
enum class FileFault : std::uint8_t {
  kNoSpace,      // fails with ENOSPC
  kIo,           // fails with EIO
  kInterrupted,  // fails with EINTR (close still lets go of the descriptor, as Linux does)
  kShortWrite,   // a write puts half of its bytes, at least one, and succeeds; the count of
                 // calls is then a count of writes alone
};

// Makes the `at`th seam call from now (1 is the next one) meet `fault`; 0 disarms.
void ArmFileFault(std::uint64_t at, FileFault fault) noexcept;
// Seam calls made since the last ArmFileFault, and whether the armed fault was met.
[[nodiscard]] std::uint64_t FileCallsSince() noexcept;
[[nodiscard]] bool FileFaultMet() noexcept;

// The fault this call meets: 0 to go ahead, an errno value to fail with (the call is not made,
// except close, which is), or -1 for a short write.
[[nodiscard]] int FileFaultFor(FileCall call) noexcept;

// The system calls, each first asking FileFaultFor.
[[nodiscard]] int OpenFile(const char* path, int flags, mode_t mode = 0) noexcept;
[[nodiscard]] int MakeTemporaryFile(char* name_template, int flags) noexcept;
[[nodiscard]] ssize_t WriteFile(int fd, const void* bytes, std::size_t size) noexcept;
[[nodiscard]] ssize_t WriteFileAt(int fd, const void* bytes, std::size_t size,
                                  off_t offset) noexcept;
[[nodiscard]] int SyncFile(int fd) noexcept;
[[nodiscard]] int RenameFile(const char* from, const char* to) noexcept;
// linkat() of `from`, followed when a symbolic link (an unnamed file's /proc entry), to `to`.
[[nodiscard]] int LinkFile(const char* from, const char* to) noexcept;
int CloseFile(int fd) noexcept;
[[nodiscard]] int TruncateFile(int fd, off_t size) noexcept;
int UnlinkFile(const char* path) noexcept;

}  // namespace kelvane::platform::internal
