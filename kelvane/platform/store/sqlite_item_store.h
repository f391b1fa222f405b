// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/store/sqlite_item_store.h
//
// The file store for secure items: one SQLite database, its values sealed with
// XChaCha20-Poly1305 under a 32-byte master key. The attributes stay readable, so that lookups
// need no key; each sealed value is bound to its item's whole identity (class, key, access
// group and synchronizable flag), so a value moved to another row or altered in place no
// longer verifies and reads as not found. Values sealed by earlier versions, which left the
// flag out, still read; any write of an item seals its value the current way.
//
// Files: a store at "<database>" is that file and, without a master key from the application,
// the key in "<database>.key" beside it (mode 0600, created on first open; a key file that
// exists but is not exactly 32 bytes is an error, never replaced; nor is a store that holds
// secrets given a new key when its key file is missing). The database is created with mode 0600
// in a folder created with mode 0700. While it is open SQLite keeps two more files beside it,
// "<database>-wal" (the write-ahead log) and "<database>-shm" (its index), with the database's
// mode; once a write has returned, they hold nothing the database file lacks (but for the delay
// below).
//
// Hostile files: the database and key file are never opened through a symbolic link. A store
// or key file (or log) that other users may read is made private on open (0644 and 0640 become
// 0600) when this user may change its mode, and refused otherwise. A database is a store only
// when its schema is exactly the one the store makes: a trigger, view, index, table or column
// of anyone else's is refused before anything runs, and the connection runs no trigger or view
// and reads no string or blob past the limits of item_store.h whatever the file holds.
//
// Durability: write-ahead log, full synchronisation, one transaction per operation. A process
// killed at any moment leaves the store whole, with each operation either done or not. Once a
// write returns, the database file itself holds it: each write is moved from the log into the
// file, which is synced, and the log is emptied (a reader of another process that holds on past
// the busy timeout, or a disk that fails while the write is moved, can delay that to the next
// write or open; the write stands all the same, in the log).
//
// Backing up or moving a store: copy "<database>" and "<database>.key" (with a master key, the
// key is the application's to keep), the store open or not, but not during a write of another
// thread or process, which may catch the file half-updated. The -wal and -shm files are not
// needed; restore a copy with the store closed, removing any -wal and -shm beside it first, as
// SQLite would otherwise apply a log that belongs to another state of the file.
//
// Threads and processes: a store object may be used from any thread (one connection behind a
// lock). Several processes may share the database: writers wait for each other up to the busy
// timeout (ten seconds), readers never wait for writers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/store/item_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kelvane::platform {

// The file store: one SQLite database with sealed values (see the opening block).
class KELVANE_EXPORT SqliteItemStore final : public ItemStore {
 public:
  // The bytes of a master key.
  static constexpr std::size_t kKeySize = 32;

  // Opens (creating when absent) the store at `path`. With `master_key` (exactly kKeySize
  // bytes) the application supplies the key; otherwise the key file beside the database is
  // used. Null when the files cannot be created or opened, the key has the wrong size, or the
  // file is not a store.
  [[nodiscard]] static std::shared_ptr<SqliteItemStore> Open(
      const std::string& path, const Data* master_key = nullptr) noexcept;

  // Open, with the reason when the store cannot be opened: kNotRegularFile for a folder, a
  // device or a symbolic link (at the store's or the key file's path); kMalformed for a file
  // that is not a store (not an SQLite database, or one with any schema object the store did
  // not make) and for a key file that is not kKeySize bytes; kMissing for a store holding
  // secrets whose key file is missing; kPermission for a file open to other users that cannot
  // be made private; kMissing, kPermission or kIo from the system.
  // Nothing is created beside, written into or changed in a file refused as not a store.
  [[nodiscard]] static Result<std::shared_ptr<SqliteItemStore>> TryOpen(
      const std::string& path, const Data* master_key = nullptr) noexcept;

  // KELVANE_KEYCHAIN when set and not empty; else $XDG_DATA_HOME/kelvane/keychain.db when
  // XDG_DATA_HOME is an absolute path; else $HOME/.local/share/kelvane/keychain.db; nullopt
  // when none of these is set.
  [[nodiscard]] static std::optional<std::string> DefaultPath() noexcept;

  // The key file used for a database at `path`.
  [[nodiscard]] static std::string KeyPath(const std::string& path);

  ~SqliteItemStore() override;
  SqliteItemStore(const SqliteItemStore&) = delete;
  SqliteItemStore& operator=(const SqliteItemStore&) = delete;

  ItemStatus Add(const ItemAttributes& item) noexcept override;
  ItemStatus Update(const ItemQuery& query, const ItemUpdate& changes) noexcept override;
  ItemStatus CopyMatching(const ItemQuery& query, ItemAttributes* out) noexcept override;
  ItemStatus Delete(const ItemQuery& query) noexcept override;
  ItemStatus Replace(const ItemQuery& remove, const ItemAttributes& item) noexcept override;

  // true when the database passes SQLite's integrity check.
  [[nodiscard]] bool CheckIntegrity() noexcept;

 private:
  class Transaction;
  SqliteItemStore(sqlite3* db, const std::array<std::uint8_t, kKeySize>& key) noexcept;

  // A prepared statement for `sql`, made once and kept; null on failure.
  sqlite3_stmt* Statement(const std::string& sql);
  ItemStatus AddLocked(const ItemAttributes& item);
  ItemStatus DeleteLocked(const ItemQuery& query);
  // Runs `body` under the lock in one transaction, committed when it answers success; running
  // out of memory is an I/O failure.
  template <typename Body>
  ItemStatus InTransaction(Body&& body) noexcept;

  std::mutex mutex_;
  sqlite3* db_;
  std::array<std::uint8_t, kKeySize> key_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace kelvane::platform
