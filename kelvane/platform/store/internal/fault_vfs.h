// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/store/internal/fault_vfs.h
//
// The SQLite file layer the secret store opens its database with: SQLite's own Unix layer, each
// write, sync, truncation, close, open and deletion first passing the file-call seam
// (kelvane/platform/core/internal/file_calls.h), so that a test can make the Nth of them fail
// as a full or failing disk would. Every other call goes to the Unix layer unchanged. Unarmed,
// a call costs one atomic load more.
//
// What a fault becomes: ENOSPC is SQLITE_FULL; EIO the call's own I/O error (SQLITE_IOERR_WRITE,
// _FSYNC, _TRUNCATE, _CLOSE, _DELETE; SQLITE_CANTOPEN for an open); a short write puts the first
// half of its bytes and answers SQLITE_IOERR_WRITE, a torn write as a failing disk leaves it.
// EINTR goes ahead: the Unix layer retries an interrupted call itself.
//
// Threads: FaultVfsName() may be called from any thread; the layer is registered once, on
// first use, and never removed. Not a public header.
#pragma once

namespace kelvane::platform::internal {

// The name to pass to sqlite3_open_v2 for the layer above; null when SQLite has no Unix layer
// to wrap (then the store opens with SQLite's default).
[[nodiscard]] const char* FaultVfsName() noexcept;

}  // namespace kelvane::platform::internal
