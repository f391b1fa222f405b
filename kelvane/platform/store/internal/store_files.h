// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/store/internal/store_files.h
//
// The files of the secret store other than what SQLite writes: the database file as it is first
// opened (never through a symbolic link, kept private), and the key file beside it. Every call
// that saves goes through the file-call seam (kelvane/platform/core/internal/file_calls.h).
//
// Privacy: a store file or key file that other users may read or write is made private (the
// group and other bits cleared, so 0644 and 0640 become 0600) when it is opened; one that cannot
// be made so (another user's, or on a file system that refuses) is refused, as is a symbolic
// link where a store or key file should be.
//
// Threads: any; the functions share no state. Not a public header.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "kelvane/platform/core/result.h"

namespace kelvane::platform::internal {

inline constexpr std::size_t kStoreKeySize = 32;
using StoreKey = std::array<std::uint8_t, kStoreKeySize>;

// Makes the missing folders above `path` with mode 0700; false with errno set.
[[nodiscard]] bool MakeParentFolders(const std::string& path) noexcept;

// The database file of a store, held by a path descriptor (O_PATH): closing it would not let go
// of the locks SQLite holds on the file in this process, as closing any other descriptor of the
// file would (POSIX record locks belong to the process and the file, not to the descriptor).
// For the same reason the store's files are never opened here for reading or writing while
// SQLite may have them open.
class StoreFile {
 public:
  StoreFile() = default;
  StoreFile(StoreFile&& other) noexcept
      : fd_(other.fd_), created_(other.created_), path_(std::move(other.path_)) {
    other.fd_ = -1;
  }
  StoreFile& operator=(StoreFile&&) = delete;
  ~StoreFile();

  // Whether this open made the file.
  [[nodiscard]] bool created() const noexcept { return created_; }

  // Finds the database file at `path`, creating it empty with mode 0600 when absent.
  // kNotRegularFile for a symbolic link, a folder or a device; the system's reason otherwise.
  [[nodiscard]] static Result<StoreFile> Open(const std::string& path) noexcept;

  // Whether `path` still names this file (and not one put in its place since it was opened).
  [[nodiscard]] bool IsAt(const std::string& path) const noexcept;

  // Makes the file private (see the opening block); `what` names it in the message.
  [[nodiscard]] Status MakePrivate(const std::string& what) const noexcept;

 private:
  int fd_ = -1;
  bool created_ = false;
  std::string path_;
};

// StoreFile::MakePrivate for the file at `path` (SQLite's log or its index), if there is one; a
// symbolic link or anything but a regular file is refused.
[[nodiscard]] Status MakePrivateAt(const std::string& path) noexcept;

// Syncs the folder that holds `path`, so that a file just made there survives a crash.
[[nodiscard]] Status SyncFolderOf(const std::string& path) noexcept;

// Reads the key file at `path`, making it private; kMissing when there is none, kMalformed when
// it is not kStoreKeySize bytes, kNotRegularFile for a symbolic link or a non-file.
[[nodiscard]] Result<StoreKey> ReadKeyFile(const std::string& path) noexcept;

// Reads the key file, or makes it with a fresh key when there is none. The new file is written
// whole under a temporary name, synced and linked into place, then its folder is synced: so
// processes starting together agree on one key, none sees a partial file, and a crash cannot
// keep secrets sealed under a key whose file is lost.
[[nodiscard]] Result<StoreKey> LoadOrCreateKey(const std::string& path) noexcept;

}  // namespace kelvane::platform::internal
