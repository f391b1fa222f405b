// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/sqlite_item_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "kelvane/platform/store/internal/fault_vfs.h"
#include "kelvane/platform/store/internal/item_rules.h"
#include "kelvane/platform/store/internal/store_files.h"
#include "kelvane/platform/store/internal/store_schema.h"

namespace kelvane::platform {
namespace {

constexpr int kBusyTimeoutMs = 10'000;
// Version 1 seals bound class, key and access group only, so an item and its synchronizable
// twin could trade values; they are still read, and every write seals with version 2.
constexpr std::uint8_t kSealVersion1 = 1;
constexpr std::uint8_t kSealVersion = 2;
constexpr std::size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;

static_assert(SqliteItemStore::kKeySize == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(SqliteItemStore::kKeySize == internal::kStoreKeySize);

// The largest sealed value: a value of kMaxItemValueBytes with its version, nonce and tag.
constexpr std::size_t kMaxSealedBytes = kMaxItemValueBytes + 1 + kNonceSize + kTagSize;
// The most bytes SQLite hands out for one value, or puts in one row: a row of the largest value
// and attributes fits, and no string or blob of a hostile file is read past it.
constexpr int kLengthLimit = static_cast<int>(kMaxSealedBytes + 16 * kMaxItemAttributeBytes);

// Every column of an item. The value is fetched only when its length, which SQLite reads from
// the row's header, is within the limit; column 15 is that length.
const std::string& Columns() {
  static const std::string columns =
      "SELECT id, class, key, account, agrp, sync, accessible, label, subject, issuer, serial, "
      "skid, pkhash, ctype, cenc, length(value), CASE WHEN length(value) <= " +
      std::to_string(kMaxSealedBytes) + " THEN value END FROM items";
  return columns;
}

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// Strings are kept as their UTF-16 units, so that any text the caller gave comes back as it was.
std::span<const std::uint8_t> Bytes(const String& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size() * sizeof(char16_t)};
}

void Put32(Data& out, std::size_t n) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}
void PutBytes(Data& out, std::span<const std::uint8_t> bytes) {
  Put32(out, bytes.size());
  out.insert(out.end(), bytes.begin(), bytes.end());
}

Data IdentityKey(const ItemAttributes& item) {
  if (item.item_class == ItemClass::kGenericPassword) {
    const auto b = Bytes(item.account);
    return Data(b.begin(), b.end());
  }
  Data key;
  PutBytes(key, item.issuer);
  PutBytes(key, item.serial_number);
  return key;
}

// What a sealed value is bound to, the item's whole identity: moving it to another item breaks
// the seal.
struct Identity {
  int item_class;
  Data key, group;
  bool sync;
};

Data SealContext(const Identity& id, std::uint8_t version) {
  static constexpr char kVersion1[] = "kelvane.item.1";
  static constexpr char kVersion2[] = "kelvane.item.2";
  const char* context = version == kSealVersion1 ? kVersion1 : kVersion2;
  Data ad(context, context + sizeof(kVersion1));
  ad.push_back(static_cast<std::uint8_t>(id.item_class));
  PutBytes(ad, id.key);
  PutBytes(ad, id.group);
  if (version != kSealVersion1) ad.push_back(id.sync ? 1 : 0);
  return ad;
}

// version, nonce, then the ciphertext with its tag.
Data Seal(const Data& value, const Identity& id, const std::uint8_t* key) {
  const Data ad = SealContext(id, kSealVersion);
  Data sealed(1 + kNonceSize + value.size() + kTagSize);
  sealed[0] = kSealVersion;
  randombytes_buf(sealed.data() + 1, kNonceSize);
  unsigned long long sealed_size = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(sealed.data() + 1 + kNonceSize, &sealed_size,
                                             value.data(), value.size(), ad.data(), ad.size(),
                                             nullptr, sealed.data() + 1, key);
  return sealed;
}

// The value sealed in `sealed` for the item `id`; nullopt when it does not verify (altered,
// moved from another item, or sealed under another key).
std::optional<Data> Unseal(const Data& sealed, const Identity& id, const std::uint8_t* key) {
  if (sealed.size() < 1 + kNonceSize + kTagSize ||
      (sealed[0] != kSealVersion && sealed[0] != kSealVersion1)) {
    return std::nullopt;
  }
  const Data ad = SealContext(id, sealed[0]);
  Data value(sealed.size() - 1 - kNonceSize - kTagSize);
  unsigned long long value_size = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          value.data(), &value_size, nullptr, sealed.data() + 1 + kNonceSize,
          sealed.size() - 1 - kNonceSize, ad.data(), ad.size(), sealed.data() + 1, key) != 0) {
    return std::nullopt;
  }
  return value;
}

// ---- statements -----------------------------------------------------------------------------

// Resets a kept statement when the operation that used it ends.
class Use {
 public:
  explicit Use(sqlite3_stmt* s) : s_(s) {}
  ~Use() {
    if (s_ != nullptr) {
      sqlite3_reset(s_);
      sqlite3_clear_bindings(s_);
    }
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  sqlite3_stmt* get() const { return s_; }
  explicit operator bool() const { return s_ != nullptr; }

  bool Blob(int index, std::span<const std::uint8_t> bytes) {
    // A zero-length blob is bound as such, never as NULL.
    static const std::uint8_t kEmpty = 0;
    return sqlite3_bind_blob(s_, index, bytes.empty() ? &kEmpty : bytes.data(),
                             static_cast<int>(bytes.size()), SQLITE_TRANSIENT) == SQLITE_OK;
  }
  bool Int(int index, std::int64_t value) {
    return sqlite3_bind_int64(s_, index, value) == SQLITE_OK;
  }
  bool Null(int index) { return sqlite3_bind_null(s_, index) == SQLITE_OK; }

  Data ColumnData(int column) const {
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(s_, column));
    const int n = sqlite3_column_bytes(s_, column);
    return p == nullptr || n <= 0 ? Data() : Data(p, p + n);
  }
  String ColumnString(int column) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, column));
    const int n = sqlite3_column_bytes(s_, column);
    String s(static_cast<std::size_t>(n > 0 ? n : 0) / sizeof(char16_t), u'\0');
    if (!s.empty()) std::memcpy(s.data(), p, s.size() * sizeof(char16_t));
    return s;
  }

 private:
  sqlite3_stmt* s_;
};

// The WHERE clause of a query, with parameters ?1 .. ?5 for the fields it sets.
std::string Where(const ItemQuery& query) {
  std::string where = " WHERE class = ?1";
  // The account of a password is its key, which the unique index covers.
  if (query.account) {
    where +=
        query.item_class == ItemClass::kGenericPassword ? " AND key = ?2" : " AND account = ?2";
  }
  if (query.access_group) where += " AND agrp = ?3";
  if (query.label) where += " AND label = ?4";
  if (query.synchronizable != SyncMatch::kAny) where += " AND sync = ?5";
  return where;
}

bool BindQuery(Use& s, const ItemQuery& query) {
  bool ok = s.Int(1, static_cast<int>(query.item_class));
  if (query.account) ok = ok && s.Blob(2, Bytes(*query.account));
  if (query.access_group) ok = ok && s.Blob(3, Bytes(*query.access_group));
  if (query.label) ok = ok && s.Blob(4, Bytes(*query.label));
  if (query.synchronizable != SyncMatch::kAny) {
    ok = ok && s.Int(5, query.synchronizable == SyncMatch::kYes ? 1 : 0);
  }
  return ok;
}

// The status of a statement that failed with `rc`: a string or blob of the file over the
// connection's limit is kTooLarge, anything else an I/O failure.
ItemStatus Failed(int rc) {
  return (rc & 0xFF) == SQLITE_TOOBIG ? ItemStatus::kTooLarge : ItemStatus::kIO;
}

bool IsBusy(int rc) {
  rc &= 0xFF;
  return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

// The first column of the first row of `sql` as text; empty when there is none.
std::string QueryText(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  std::string out;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    if (text != nullptr) out = text;
  }
  sqlite3_finalize(s);
  return out;
}

bool IsSetUp(sqlite3* db) {
  return QueryText(db, "PRAGMA journal_mode") == "wal" &&
         QueryText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'items'") ==
             "items";
}

// Sets the connection up so that nothing in the file runs on its own: no triggers or views (the
// schema check refuses them; this holds should one appear later), no functions with side
// effects called from the schema, no writes to the schema itself, and no string or blob longer
// than a row of the store.
bool Harden(sqlite3* db) {
  for (const int option : {SQLITE_DBCONFIG_DEFENSIVE, SQLITE_DBCONFIG_ENABLE_TRIGGER,
                           SQLITE_DBCONFIG_ENABLE_VIEW, SQLITE_DBCONFIG_TRUSTED_SCHEMA}) {
    const int on = option == SQLITE_DBCONFIG_DEFENSIVE ? 1 : 0;
    int now = -1;
    if (sqlite3_db_config(db, option, on, &now) != SQLITE_OK || now != on) return false;
  }
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kLengthLimit);
  return sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1) == kLengthLimit;
}

bool SetUp(sqlite3* db) {
  // Switching to WAL needs a moment alone with the file; another process opening the store
  // at the same time can make it fail once, so it is tried while the busy timeout lasts.
  for (int attempt = 0;; ++attempt) {
    const int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) break;
    if (!IsBusy(rc) || attempt >= kBusyTimeoutMs / 10) return false;
    ::usleep(10'000);
  }
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  if (sqlite3_exec(db, internal::kStoreSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

}  // namespace

// BEGIN IMMEDIATE takes the write lock up front: a deferred transaction that later wants to
// write can fail at once with a busy error that no waiting resolves.
class SqliteItemStore::Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    ok_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~Transaction() {
    if (ok_ && !done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] bool Commit() {
    done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return done_;
  }

 private:
  sqlite3* db_;
  bool ok_ = false;
  bool done_ = false;
};

SqliteItemStore::SqliteItemStore(sqlite3* db,
                                 const std::array<std::uint8_t, kKeySize>& key) noexcept
    : db_(db), key_(key) {}

SqliteItemStore::~SqliteItemStore() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
  sodium_memzero(key_.data(), key_.size());
}

std::string SqliteItemStore::KeyPath(const std::string& path) { return path + ".key"; }

std::optional<std::string> SqliteItemStore::DefaultPath() noexcept {
  try {
    const char* explicit_path = std::getenv("KELVANE_KEYCHAIN");
    if (explicit_path != nullptr && *explicit_path != 0) return std::string(explicit_path);
    const char* data_home = std::getenv("XDG_DATA_HOME");
    if (data_home != nullptr && data_home[0] == '/') {
      return std::string(data_home) + "/kelvane/keychain.db";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != 0)
      return std::string(home) + "/.local/share/kelvane/keychain.db";
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

std::shared_ptr<SqliteItemStore> SqliteItemStore::Open(const std::string& path,
                                                       const Data* master_key) noexcept {
  return TryOpen(path, master_key).ToOptional().value_or(nullptr);
}

Result<std::shared_ptr<SqliteItemStore>> SqliteItemStore::TryOpen(const std::string& path,
                                                                  const Data* master_key) noexcept {
  try {
    if (path.empty()) return Error{ErrorKind::kMissing, "no path for the secure store"};
    if (!SodiumReady()) return Error{ErrorKind::kIo, "the sealing library could not start"};
    if (master_key != nullptr && master_key->size() != kKeySize) {
      return Error{ErrorKind::kMalformed, "a master key is " + std::to_string(kKeySize) +
                                              " bytes, not " + std::to_string(master_key->size())};
    }
    // What lies at the paths is judged before anything is written: nothing is created in or
    // beside a file that is not a store, and its mode is left as it was.
    if (struct stat status{}; master_key == nullptr &&
                              ::lstat(KeyPath(path).c_str(), &status) == 0 &&
                              S_ISLNK(status.st_mode)) {
      return Error{ErrorKind::kNotRegularFile,
                   "the key file " + KeyPath(path) +
                       " is a symbolic link, which the secure store does not follow"};
    }
    Result<internal::StoreFile> file = internal::StoreFile::Open(path);
    if (!file) return file.error();
    // SQLite itself reads the header: a file opened here for reading would, when closed, let go
    // of the locks that another connection of this process holds on it.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        internal::FaultVfsName()) != SQLITE_OK) {
      Error error{ErrorKind::kIo, db != nullptr ? sqlite3_errmsg(db) : "cannot open"};
      sqlite3_close(db);
      return error;
    }
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> owned(db, sqlite3_close);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    if (!Harden(db)) return Error{ErrorKind::kIo, "cannot make the store's connection safe"};
    bool empty = false;
    if (Status schema = internal::CheckSchema(db, empty); !schema) return schema.error();
    // SQLite opened the path by name: it must still be the file judged above.
    if (!file->IsAt(path)) {
      return Error{ErrorKind::kIo, "the file was replaced while the store was being opened"};
    }
    // Private from here on: the store, and the log and its index that SQLite made beside it.
    if (Status made = file->MakePrivate("the store"); !made) return made.error();
    for (const char* suffix : {"-wal", "-shm"}) {
      if (Status made = internal::MakePrivateAt(path + suffix); !made) return made.error();
    }
    if (file->created()) {
      if (Status synced = internal::SyncFolderOf(path); !synced) return synced.error();
    }
    // Setting up takes the write lock, which writers in other processes may keep busy for a
    // long time; a store that is already set up is opened with reads alone.
    if (!IsSetUp(db) && !SetUp(db)) {
      return Error{ErrorKind::kIo, std::string("cannot set the store up: ") + sqlite3_errmsg(db)};
    }
    if (sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK) {
      return Error{ErrorKind::kIo, sqlite3_errmsg(db)};
    }
    // Writes that an earlier process left in the log only (one that ended without closing the
    // store, or a version that did not move each write into the file) are moved now, without
    // waiting for anyone: opening stays a matter of reads when other processes are busy.
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);

    std::array<std::uint8_t, kKeySize> key{};
    if (master_key != nullptr) {
      std::memcpy(key.data(), master_key->data(), kKeySize);
    } else {
      const std::string key_path = KeyPath(path);
      // A store that holds secrets without its key file lost it, or was copied without it: a
      // fresh key would seal new secrets apart from those, so the store is refused until the
      // key file is put back.
      if (!empty && QueryText(db, "SELECT EXISTS(SELECT 1 FROM items)") == "1" &&
          ::access(key_path.c_str(), F_OK) != 0 && errno == ENOENT) {
        return Error{ErrorKind::kMissing, "the key file " + key_path +
                                              " is missing, yet the store holds secrets sealed "
                                              "with it: put it back beside the store"};
      }
      Result<internal::StoreKey> loaded = internal::LoadOrCreateKey(key_path);
      if (!loaded) return loaded.error();
      key = *loaded;
      sodium_memzero(loaded->data(), loaded->size());
    }
    std::shared_ptr<SqliteItemStore> store(new SqliteItemStore(owned.release(), key));
    sodium_memzero(key.data(), key.size());
    return store;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

sqlite3_stmt* SqliteItemStore::Statement(const std::string& sql) {
  if (auto it = statements_.find(sql); it != statements_.end()) return it->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  try {
    statements_.emplace(sql, statement);
  } catch (...) {
    sqlite3_finalize(statement);
    throw;
  }
  return statement;
}

ItemStatus SqliteItemStore::AddLocked(const ItemAttributes& item) {
  if (!internal::IsValidItem(item)) return ItemStatus::kBadParameter;
  if (internal::IsTooLarge(item)) return ItemStatus::kTooLarge;
  const Data key = IdentityKey(item);
  const String& group = internal::GroupOf(item.access_group);
  const auto group_bytes = Bytes(group);
  const Data sealed = Seal(item.value,
                           {static_cast<int>(item.item_class), key,
                            Data(group_bytes.begin(), group_bytes.end()), item.synchronizable},
                           key_.data());

  Use s(Statement(
      "INSERT INTO items(class, key, account, agrp, sync, accessible, label, subject, issuer, "
      "serial, skid, pkhash, ctype, cenc, value) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)"));
  if (!s) return ItemStatus::kIO;
  bool ok = s.Int(1, static_cast<int>(item.item_class)) && s.Blob(2, key) &&
            s.Blob(3, Bytes(item.account)) && s.Blob(4, Bytes(group)) &&
            s.Int(5, item.synchronizable ? 1 : 0) && s.Int(6, static_cast<int>(item.accessible)) &&
            (item.label ? s.Blob(7, Bytes(*item.label)) : s.Null(7)) && s.Blob(8, item.subject) &&
            s.Blob(9, item.issuer) && s.Blob(10, item.serial_number) &&
            s.Blob(11, item.subject_key_id) && s.Blob(12, item.public_key_hash) &&
            s.Int(13, item.certificate_type) && s.Int(14, item.certificate_encoding) &&
            s.Blob(15, sealed);
  if (!ok) return ItemStatus::kIO;
  const int rc = sqlite3_step(s.get());
  if (rc == SQLITE_DONE) return ItemStatus::kSuccess;
  if ((rc & 0xFF) == SQLITE_CONSTRAINT) return ItemStatus::kDuplicate;
  return Failed(rc);
}

ItemStatus SqliteItemStore::DeleteLocked(const ItemQuery& query) {
  if (internal::IsTooLarge(query)) return ItemStatus::kTooLarge;
  Use s(Statement("DELETE FROM items" + Where(query)));
  if (!s || !BindQuery(s, query)) return ItemStatus::kIO;
  if (const int rc = sqlite3_step(s.get()); rc != SQLITE_DONE) return Failed(rc);
  return sqlite3_changes(db_) > 0 ? ItemStatus::kSuccess : ItemStatus::kNotFound;
}

template <typename Body>
ItemStatus SqliteItemStore::InTransaction(Body&& body) noexcept {
  try {
    std::lock_guard lock(mutex_);
    {
      Transaction transaction(db_);
      if (!transaction.ok()) return ItemStatus::kIO;
      const ItemStatus status = body();
      if (status != ItemStatus::kSuccess) return status;  // the rollback undoes what it did
      if (!transaction.Commit()) return ItemStatus::kIO;
    }
    // The committed write moves from the log into the database file, which is synced, and the
    // log is emptied: the .db file alone then holds every secret written, also when the process
    // ends without closing the store (the default store is never closed) or the files are
    // copied while it is open. Readers of other processes are waited for as writers are, up to
    // the busy timeout. Should the move not be made (one of them holds on longer, the disk is
    // full), the write still stands in the log and the next write or open moves it: the write
    // has happened, so it is not reported as failed.
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    return ItemStatus::kSuccess;
  } catch (const std::bad_alloc&) {
    return ItemStatus::kIO;
  }
}

ItemStatus SqliteItemStore::Add(const ItemAttributes& item) noexcept {
  return InTransaction([&] { return AddLocked(item); });
}

ItemStatus SqliteItemStore::Update(const ItemQuery& query, const ItemUpdate& changes) noexcept {
  if (internal::IsTooLarge(query) ||
      (changes.value && changes.value->size() > kMaxItemValueBytes)) {
    return ItemStatus::kTooLarge;
  }
  return InTransaction([&] {
    std::vector<std::pair<std::int64_t, Identity>> rows;
    {
      Use s(Statement("SELECT id, class, key, agrp, sync FROM items" + Where(query)));
      if (!s || !BindQuery(s, query)) return ItemStatus::kIO;
      int rc;
      while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        rows.push_back({sqlite3_column_int64(s.get(), 0),
                        {sqlite3_column_int(s.get(), 1), s.ColumnData(2), s.ColumnData(3),
                         sqlite3_column_int(s.get(), 4) != 0}});
      }
      if (rc != SQLITE_DONE) return Failed(rc);
    }
    if (rows.empty()) return ItemStatus::kNotFound;
    for (const auto& [id, identity] : rows) {
      if (changes.accessible) {
        Use s(Statement("UPDATE items SET accessible = ?2 WHERE id = ?1"));
        if (!s || !s.Int(1, id) || !s.Int(2, static_cast<int>(*changes.accessible)) ||
            sqlite3_step(s.get()) != SQLITE_DONE) {
          return ItemStatus::kIO;
        }
      }
      if (changes.value) {
        const Data sealed = Seal(*changes.value, identity, key_.data());
        Use s(Statement("UPDATE items SET value = ?2 WHERE id = ?1"));
        if (!s || !s.Int(1, id) || !s.Blob(2, sealed) || sqlite3_step(s.get()) != SQLITE_DONE) {
          return ItemStatus::kIO;
        }
      }
    }
    return ItemStatus::kSuccess;
  });
}

ItemStatus SqliteItemStore::CopyMatching(const ItemQuery& query, ItemAttributes* out) noexcept {
  try {
    if (internal::IsTooLarge(query)) return ItemStatus::kTooLarge;
    std::lock_guard lock(mutex_);
    Use s(Statement(Columns() + Where(query) + " ORDER BY id"));
    if (!s || !BindQuery(s, query)) return ItemStatus::kIO;
    int rc;
    bool too_large = false;  // a match whose value was over the limit, and so not read
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
      const int item_class = sqlite3_column_int(s.get(), 1);
      if (item_class != static_cast<int>(ItemClass::kGenericPassword) &&
          item_class != static_cast<int>(ItemClass::kCertificate)) {
        continue;
      }
      const Identity identity{item_class, s.ColumnData(2), s.ColumnData(4),
                              sqlite3_column_int(s.get(), 5) != 0};
      if (sqlite3_column_int64(s.get(), 15) > static_cast<std::int64_t>(kMaxSealedBytes)) {
        too_large = true;
        continue;
      }
      std::optional<Data> value = Unseal(s.ColumnData(16), identity, key_.data());
      if (!value) continue;  // as if absent
      if (out != nullptr) {
        ItemAttributes item;
        item.item_class = static_cast<ItemClass>(item_class);
        item.account = s.ColumnString(3);
        if (!identity.group.empty()) item.access_group = s.ColumnString(4);
        item.synchronizable = identity.sync;
        item.accessible = sqlite3_column_int(s.get(), 6) == 1
                              ? Accessibility::kWhenUnlockedThisDeviceOnly
                              : Accessibility::kWhenUnlocked;
        if (sqlite3_column_type(s.get(), 7) != SQLITE_NULL) item.label = s.ColumnString(7);
        item.subject = s.ColumnData(8);
        item.issuer = s.ColumnData(9);
        item.serial_number = s.ColumnData(10);
        item.subject_key_id = s.ColumnData(11);
        item.public_key_hash = s.ColumnData(12);
        item.certificate_type = sqlite3_column_int(s.get(), 13);
        item.certificate_encoding = sqlite3_column_int(s.get(), 14);
        item.value = std::move(*value);
        *out = std::move(item);
      }
      return ItemStatus::kSuccess;
    }
    if (rc != SQLITE_DONE) return Failed(rc);
    return too_large ? ItemStatus::kTooLarge : ItemStatus::kNotFound;
  } catch (const std::bad_alloc&) {
    return ItemStatus::kIO;
  }
}

ItemStatus SqliteItemStore::Delete(const ItemQuery& query) noexcept {
  if (internal::IsTooLarge(query)) return ItemStatus::kTooLarge;
  return InTransaction([&] { return DeleteLocked(query); });
}

ItemStatus SqliteItemStore::Replace(const ItemQuery& remove, const ItemAttributes& item) noexcept {
  if (!internal::IsValidItem(item)) return ItemStatus::kBadParameter;
  if (internal::IsTooLarge(item) || internal::IsTooLarge(remove)) return ItemStatus::kTooLarge;
  return InTransaction([&] {
    const ItemStatus removed = DeleteLocked(remove);
    if (removed != ItemStatus::kSuccess && removed != ItemStatus::kNotFound) return removed;
    return AddLocked(item);  // on failure the rollback restores what was removed
  });
}

bool SqliteItemStore::CheckIntegrity() noexcept {
  std::lock_guard lock(mutex_);
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, "PRAGMA integrity_check", -1, &s, nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    return false;
  }
  bool ok = sqlite3_step(s) == SQLITE_ROW;
  if (ok) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    ok = text != nullptr && std::strcmp(text, "ok") == 0;
  }
  sqlite3_finalize(s);
  return ok;
}

}  // namespace kelvane::platform
