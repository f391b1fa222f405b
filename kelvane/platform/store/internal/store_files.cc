// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/internal/store_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "kelvane/platform/core/internal/file_calls.h"

namespace kelvane::platform::internal {
namespace {

Error SymbolicLink(const std::string& what) {
  return {ErrorKind::kNotRegularFile,
          what + "a symbolic link, which the secure store does not follow"};
}

Error FromErrno(int error, const std::string& before) {
  Error out = Error::FromErrno(error);
  out.message = before + out.message;
  return out;
}

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04o", mode & 07777);
  return text;
}

// Writes all of `bytes`, going on after a short or interrupted write; false with errno set.
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = WriteFile(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

int SyncRetrying(int fd) {
  int rc;
  while ((rc = SyncFile(fd)) != 0 && errno == EINTR) {
  }
  return rc;
}

void UnlinkRetrying(const char* path) {
  while (UnlinkFile(path) != 0 && errno == EINTR) {
  }
}

}  // namespace

bool MakeParentFolders(const std::string& path) noexcept {
  try {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      const std::string folder = path.substr(0, slash);
      if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
}

StoreFile::~StoreFile() {
  if (fd_ >= 0) ::close(fd_);
}

Result<StoreFile> StoreFile::Open(const std::string& path) noexcept {
  try {
    // The path itself is judged first, so that nothing is made through a link or in a folder
    // where a file was expected; the path descriptor then refuses a link put there since.
    struct stat status {};
    StoreFile file;
    if (::lstat(path.c_str(), &status) == 0) {
      if (S_ISLNK(status.st_mode)) return SymbolicLink("");
      if (!S_ISREG(status.st_mode)) {
        return Error{ErrorKind::kNotRegularFile, S_ISDIR(status.st_mode)
                                                     ? "a folder, not a secure store"
                                                     : "not a regular file, so not a secure store"};
      }
    } else if (errno != ENOENT) {
      return Error::FromErrno(errno);
    } else if (!MakeParentFolders(path)) {
      return Error::FromErrno(errno);
    } else {
      // Made here with 0600 rather than by SQLite, which would use 0644. The descriptor is let
      // go of at once: no connection can have locked a file this young.
      const int made =
          OpenFile(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
      if (made < 0 && errno != EEXIST) {
        return errno == ELOOP ? SymbolicLink("") : Error::FromErrno(errno);
      }
      if (made >= 0) {
        file.created_ = true;
        (void)CloseFile(made);  // nothing was written
      }
    }
    file.path_ = path;
    file.fd_ = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (file.fd_ < 0) return Error::FromErrno(errno);
    if (::fstat(file.fd_, &status) != 0) return Error::FromErrno(errno);
    if (S_ISLNK(status.st_mode)) return SymbolicLink("");
    if (!S_ISREG(status.st_mode)) {
      return Error{ErrorKind::kNotRegularFile, "not a regular file, so not a secure store"};
    }
    return file;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

bool StoreFile::IsAt(const std::string& path) const noexcept {
  struct stat mine {
  }, there{};
  return ::fstat(fd_, &mine) == 0 && ::lstat(path.c_str(), &there) == 0 && S_ISREG(there.st_mode) &&
         mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

namespace {

// Clears the group and other bits of the file that the path descriptor `fd` holds.
Status MakePrivateByPath(int fd, const std::string& path, const std::string& what) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return FromErrno(errno, what + ": ");
  if ((status.st_mode & 077) == 0) return Status(std::monostate());
  // A path descriptor cannot be given to fchmod: its /proc name reaches the very file, which
  // the path would reach only if nothing replaced it meanwhile.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const mode_t mode = status.st_mode & 0700;
  int rc = ::chmod(self.c_str(), mode);
  if (rc != 0 && errno == ENOENT) rc = ::chmod(path.c_str(), mode);  // no /proc
  // Only the owner (or root) may change the mode, so another user's file is refused here.
  if (rc != 0) {
    return Error{ErrorKind::kPermission,
                 what + " is open to other users (mode " + Octal(status.st_mode) +
                     ") and cannot be made private: " + std::strerror(errno)};
  }
  return Status(std::monostate());
}

}  // namespace

Status StoreFile::MakePrivate(const std::string& what) const noexcept {
  try {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return FromErrno(errno, what + ": ");
    if ((status.st_mode & 077) == 0) return Status(std::monostate());
    return MakePrivateByPath(fd_, path_, what);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

namespace {

// Clears the group and other bits of the file open as `fd`, not one of SQLite's.
Status MakePrivate(int fd, const std::string& what) noexcept {
  try {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return FromErrno(errno, what + ": ");
    if ((status.st_mode & 077) == 0) return Status(std::monostate());
    if (::fchmod(fd, status.st_mode & 0700) != 0) {
      return Error{ErrorKind::kPermission,
                   what + " is open to other users (mode " + Octal(status.st_mode) +
                       ") and cannot be made private: " + std::strerror(errno)};
    }
    return Status(std::monostate());
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

}  // namespace

Status MakePrivateAt(const std::string& path) noexcept {
  try {
    const int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) return Status(std::monostate());
      return FromErrno(errno, path + ": ");
    }
    struct stat status {};
    Status made = Status(std::monostate());
    if (::fstat(fd, &status) != 0) {
      made = FromErrno(errno, path + ": ");
    } else if (S_ISLNK(status.st_mode)) {
      made = SymbolicLink(path + " is ");
    } else if (!S_ISREG(status.st_mode)) {
      made = Error{ErrorKind::kNotRegularFile, path + " is not a regular file"};
    } else {
      made = MakePrivateByPath(fd, path, path);
    }
    ::close(fd);  // a path descriptor: SQLite's locks on the file stay
    return made;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Status SyncFolderOf(const std::string& path) noexcept {
  try {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const int fd = OpenFile(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno, "cannot sync the folder " + folder + ": ");
    // Some file systems cannot sync a folder (EINVAL): their entries are as safe as they get.
    const bool synced = SyncRetrying(fd) == 0 || errno == EINVAL;
    const int sync_error = errno;
    (void)CloseFile(fd);
    if (!synced) return FromErrno(sync_error, "cannot sync the folder " + folder + ": ");
    return Status(std::monostate());
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Result<StoreKey> ReadKeyFile(const std::string& path) noexcept {
  try {
    const std::string what = "the key file " + path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ELOOP ? SymbolicLink(what + " is ") : FromErrno(errno, what + ": ");
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      ::close(fd);
      return Error{ErrorKind::kNotRegularFile, what + " is not a regular file"};
    }
    if (Status made = MakePrivate(fd, what); !made) {
      ::close(fd);
      return made.error();
    }
    std::uint8_t buffer[kStoreKeySize + 1];
    std::size_t got = 0;
    while (got < sizeof(buffer)) {
      const ssize_t n = ::read(fd, buffer + got, sizeof(buffer) - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    Result<StoreKey> key =
        Error{ErrorKind::kMalformed, what + " is not " + std::to_string(kStoreKeySize) + " bytes"};
    if (got == kStoreKeySize) {
      StoreKey read;
      std::memcpy(read.data(), buffer, read.size());
      key = read;
      sodium_memzero(read.data(), read.size());
    }
    sodium_memzero(buffer, sizeof(buffer));
    return key;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

Result<StoreKey> LoadOrCreateKey(const std::string& path) noexcept {
  try {
    Result<StoreKey> key = ReadKeyFile(path);
    // Present but unreadable or of the wrong size: never replaced.
    if (key || key.error().kind != ErrorKind::kMissing) return key;
    StoreKey fresh;
    randombytes_buf(fresh.data(), fresh.size());
    const std::string temp =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(randombytes_random());
    const std::string cannot = "cannot create the key file " + path + ": ";
    const int fd =
        OpenFile(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return FromErrno(errno, cannot);
    bool written = WriteAll(fd, fresh.data(), fresh.size()) && SyncRetrying(fd) == 0;
    int error = errno;
    // Linux lets go of the descriptor however close ends; an interrupted close lost nothing.
    if (CloseFile(fd) != 0 && written && errno != EINTR) {
      written = false;
      error = errno;
    }
    // A link, not a rename: a key file another process made first is never replaced, as
    // secrets may already be sealed under it.
    bool linked = false;
    if (written) {
      int rc;
      while ((rc = LinkFile(temp.c_str(), path.c_str())) != 0 && errno == EINTR) {
      }
      linked = rc == 0;
      if (!linked) error = errno;
    }
    UnlinkRetrying(temp.c_str());
    if (linked) key = fresh;
    sodium_memzero(fresh.data(), fresh.size());
    if (linked) {
      if (Status synced = SyncFolderOf(path); !synced) return synced.error();
      return key;
    }
    if (written && error == EEXIST) return ReadKeyFile(path);  // another was first
    return FromErrno(error, cannot);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

}  // namespace kelvane::platform::internal
