// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/internal/fault_vfs.h"

#include <errno.h>
#include <sqlite3.h>

#include <cstddef>

#include "kelvane/platform/core/internal/file_calls.h"

namespace kelvane::platform::internal {
namespace {

constexpr char kName[] = "kelvane-unix";

// A file of this layer: our methods, then the Unix layer's file, which SQLite sizes for us
// through szOsFile.
struct Wrapped {
  sqlite3_file base;
  sqlite3_file* real;
};

constexpr std::size_t kRealOffset = (sizeof(Wrapped) + alignof(std::max_align_t) - 1) /
                                    alignof(std::max_align_t) * alignof(std::max_align_t);

sqlite3_vfs* Real(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }
sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<Wrapped*>(file)->real; }

// What a fault of `error` makes of the call: SQLITE_OK to go ahead, else its result.
int Outcome(int error, int io_error) {
  if (error == 0 || error == EINTR) return SQLITE_OK;  // the Unix layer retries EINTR itself
  if (error == ENOSPC) return SQLITE_FULL;
  return io_error;
}

int Close(sqlite3_file* file) {
  const int fault = FileFaultFor(FileCall::kClose);
  // The file is let go of all the same, as close() lets go of the descriptor.
  const int rc = Real(file)->pMethods->xClose(Real(file));
  const int outcome = Outcome(fault > 0 ? fault : 0, SQLITE_IOERR_CLOSE);
  return outcome != SQLITE_OK ? outcome : rc;
}

int Read(sqlite3_file* file, void* bytes, int size, sqlite3_int64 offset) {
  return Real(file)->pMethods->xRead(Real(file), bytes, size, offset);
}

int Write(sqlite3_file* file, const void* bytes, int size, sqlite3_int64 offset) {
  const int fault = FileFaultFor(FileCall::kWrite);
  if (fault < 0) {
    // Torn: the first half reaches the file, then the disk fails.
    if (size > 1) Real(file)->pMethods->xWrite(Real(file), bytes, size / 2, offset);
    return SQLITE_IOERR_WRITE;
  }
  if (const int outcome = Outcome(fault, SQLITE_IOERR_WRITE); outcome != SQLITE_OK) return outcome;
  return Real(file)->pMethods->xWrite(Real(file), bytes, size, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  const int fault = FileFaultFor(FileCall::kTruncate);
  if (const int outcome = Outcome(fault, SQLITE_IOERR_TRUNCATE); outcome != SQLITE_OK) {
    return outcome;
  }
  return Real(file)->pMethods->xTruncate(Real(file), size);
}

int Sync(sqlite3_file* file, int flags) {
  const int fault = FileFaultFor(FileCall::kSync);
  if (const int outcome = Outcome(fault, SQLITE_IOERR_FSYNC); outcome != SQLITE_OK) return outcome;
  return Real(file)->pMethods->xSync(Real(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) { return Real(file)->pMethods->xLock(Real(file), level); }
int Unlock(sqlite3_file* file, int level) {
  return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
int DeviceCharacteristics(sqlite3_file* file) {
  return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
  return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  return Real(file)->pMethods->xShmLock(Real(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) { Real(file)->pMethods->xShmBarrier(Real(file)); }
int ShmUnmap(sqlite3_file* file, int remove) {
  return Real(file)->pMethods->xShmUnmap(Real(file), remove);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int size, void** out) {
  return Real(file)->pMethods->xFetch(Real(file), offset, size, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

// One table per version the Unix layer may hand out, so that SQLite never calls past what the
// wrapped file has.
constexpr sqlite3_io_methods Methods(int version) {
  return {version,
          Close,
          Read,
          Write,
          Truncate,
          Sync,
          FileSize,
          Lock,
          Unlock,
          CheckReservedLock,
          FileControl,
          SectorSize,
          DeviceCharacteristics,
          version >= 2 ? ShmMap : nullptr,
          version >= 2 ? ShmLock : nullptr,
          version >= 2 ? ShmBarrier : nullptr,
          version >= 2 ? ShmUnmap : nullptr,
          version >= 3 ? Fetch : nullptr,
          version >= 3 ? Unfetch : nullptr};
}
constexpr sqlite3_io_methods kMethods[] = {Methods(1), Methods(2), Methods(3)};

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  auto* wrapped = reinterpret_cast<Wrapped*>(file);
  wrapped->base.pMethods = nullptr;
  wrapped->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kRealOffset);
  wrapped->real->pMethods = nullptr;
  const int fault = FileFaultFor(FileCall::kOpen);
  if (const int outcome = Outcome(fault, SQLITE_CANTOPEN); outcome != SQLITE_OK) {
    return outcome == SQLITE_FULL ? SQLITE_CANTOPEN : outcome;
  }
  const int rc = Real(vfs)->xOpen(Real(vfs), name, wrapped->real, flags, out_flags);
  // SQLite closes a file whose methods are set even when the open failed, so they are set
  // whenever the Unix layer set its own.
  if (const sqlite3_io_methods* real = wrapped->real->pMethods; real != nullptr) {
    const int version = real->iVersion < 1 ? 1 : real->iVersion > 3 ? 3 : real->iVersion;
    wrapped->base.pMethods = &kMethods[version - 1];
  }
  return rc;
}

int Delete(sqlite3_vfs* vfs, const char* name, int sync_folder) {
  const int fault = FileFaultFor(FileCall::kUnlink);
  if (const int outcome = Outcome(fault, SQLITE_IOERR_DELETE); outcome != SQLITE_OK) {
    return outcome == SQLITE_FULL ? SQLITE_IOERR_DELETE : outcome;
  }
  return Real(vfs)->xDelete(Real(vfs), name, sync_folder);
}

int Access(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
  return Real(vfs)->xAccess(Real(vfs), name, flags, out);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return Real(vfs)->xFullPathname(Real(vfs), name, size, out);
}
void* DlOpen(sqlite3_vfs* vfs, const char* name) { return Real(vfs)->xDlOpen(Real(vfs), name); }
void DlError(sqlite3_vfs* vfs, int size, char* out) { Real(vfs)->xDlError(Real(vfs), size, out); }
void (*DlSym(sqlite3_vfs* vfs, void* library, const char* symbol))(void) {
  return Real(vfs)->xDlSym(Real(vfs), library, symbol);
}
void DlClose(sqlite3_vfs* vfs, void* library) { Real(vfs)->xDlClose(Real(vfs), library); }
int Randomness(sqlite3_vfs* vfs, int size, char* out) {
  return Real(vfs)->xRandomness(Real(vfs), size, out);
}
int Sleep(sqlite3_vfs* vfs, int microseconds) { return Real(vfs)->xSleep(Real(vfs), microseconds); }
int CurrentTime(sqlite3_vfs* vfs, double* out) { return Real(vfs)->xCurrentTime(Real(vfs), out); }
int GetLastError(sqlite3_vfs* vfs, int size, char* out) {
  return Real(vfs)->xGetLastError(Real(vfs), size, out);
}
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) {
  return Real(vfs)->xCurrentTimeInt64(Real(vfs), out);
}
int SetSystemCall(sqlite3_vfs* vfs, const char* name, sqlite3_syscall_ptr call) {
  return Real(vfs)->xSetSystemCall(Real(vfs), name, call);
}
sqlite3_syscall_ptr GetSystemCall(sqlite3_vfs* vfs, const char* name) {
  return Real(vfs)->xGetSystemCall(Real(vfs), name);
}
const char* NextSystemCall(sqlite3_vfs* vfs, const char* name) {
  return Real(vfs)->xNextSystemCall(Real(vfs), name);
}

sqlite3_vfs* Register() {
  sqlite3_vfs* unix = sqlite3_vfs_find("unix");
  if (unix == nullptr) return nullptr;
  // Never freed: SQLite keeps a pointer to it for the life of the process.
  static sqlite3_vfs vfs{};
  vfs.iVersion = unix->iVersion < 3 ? unix->iVersion : 3;
  vfs.szOsFile = static_cast<int>(kRealOffset) + unix->szOsFile;
  vfs.mxPathname = unix->mxPathname;
  vfs.zName = kName;
  vfs.pAppData = unix;
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  vfs.xAccess = Access;
  vfs.xFullPathname = FullPathname;
  vfs.xDlOpen = DlOpen;
  vfs.xDlError = DlError;
  vfs.xDlSym = DlSym;
  vfs.xDlClose = DlClose;
  vfs.xRandomness = Randomness;
  vfs.xSleep = Sleep;
  vfs.xCurrentTime = CurrentTime;
  vfs.xGetLastError = GetLastError;
  if (vfs.iVersion >= 2) vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  if (vfs.iVersion >= 3) {
    vfs.xSetSystemCall = SetSystemCall;
    vfs.xGetSystemCall = GetSystemCall;
    vfs.xNextSystemCall = NextSystemCall;
  }
  return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? &vfs : nullptr;
}

}  // namespace

const char* FaultVfsName() noexcept {
  static sqlite3_vfs* const registered = Register();  // once, by the first caller of any thread
  return registered != nullptr ? registered->zName : nullptr;
}

}  // namespace kelvane::platform::internal
