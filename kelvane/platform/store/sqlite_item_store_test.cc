// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/sqlite_item_store.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "kelvane/platform/core/internal/file_calls.h"
#include "kelvane/platform/store/internal/store_files.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/item_store_rules.h"
#include "kelvane/testing/items.h"
#include "kelvane/testing/save_faults.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {

namespace {

using testing::For;
using testing::Password;

// The permission bits of `path`; 0xFFFF when it cannot be read.
unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0xFFFF;
}

// The value of the first match as text; "" when nothing matches.
std::string Load(ItemStore& store, const ItemQuery& query) {
  ItemAttributes out;
  if (store.CopyMatching(query, &out) != ItemStatus::kSuccess) return "";
  return std::string(out.value.begin(), out.value.end());
}

// Runs SQL on the database file behind the store's back; the first column of its last row.
std::string RunSql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::string result;
  char* error = nullptr;
  const auto keep = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
    return 0;
  };
  EXPECT_EQ(sqlite3_exec(db, sql, keep, &result, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
  return result;
}

// The bytes of the file at `path`; "" when there is none.
std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A password item in no group, not synchronizable, holding `value`.
ItemAttributes Secret(String name, std::string_view value) {
  return Password(std::move(name), std::nullopt, false, value);
}

// An update that changes the value alone.
ItemUpdate NewValue(std::string_view value) {
  ItemUpdate update;
  update.value = Data(value.begin(), value.end());
  return update;
}

// Makes a store at `path` holding `items`, and closes it.
void MakeStore(const std::string& path, std::initializer_list<ItemAttributes> items) {
  auto store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  for (const ItemAttributes& item : items) ASSERT_EQ(store->Add(item), ItemStatus::kSuccess);
}

// Copies the store at `from` and its key file to `to`.
void CopyStore(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to);
  std::filesystem::copy_file(SqliteItemStore::KeyPath(from), SqliteItemStore::KeyPath(to));
}

// A fresh folder, and the path of a store in it.
class SqliteItemStoreTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  const std::string path_ = dir_.File("keychain.db");
};

struct SqliteStoreMaker {
  static std::shared_ptr<ItemStore> Make(const testing::TempDir& dir) {
    return SqliteItemStore::Open(dir.File("rules.db"));
  }
};

// The store, its key file and the folders made for them are private whatever the umask. A store
// or key file that others may read is made private as it is opened, whatever group and other
// bits it had; the log and its index follow.
TEST(SqliteItemStore, FilesArePrivateAndValuesPersist) {
  testing::TempDir dir;
  ::umask(022);
  const std::string path = dir.File("new/folder/keychain.db");
  const std::string key = SqliteItemStore::KeyPath(path);
  ItemAttributes item = Password(u"\U0001F511 key", u"team.shared", false, {"\0binary\xff", 8});
  item.label = u"";
  MakeStore(path, {item});
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(Mode(key), 0600u);
  EXPECT_EQ(Mode(dir.File("new/folder")), 0700u);
  auto store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  ItemAttributes out;
  // The value is read back after each open below; the group is one of every store's rules.
  ASSERT_EQ(store->CopyMatching(For(u"\U0001F511 key"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.label, u"");  // an empty label is not an absent one
  // The bytes of the secret are not in the file (the log is emptied after each write).
  EXPECT_THAT(Contents(path), ::testing::Not(::testing::HasSubstr("binary")));
  store.reset();

  for (const auto& [store_mode, key_mode] : {std::pair{0644u, 0640u}, std::pair{0640u, 0644u}}) {
    SCOPED_TRACE(store_mode);
    ASSERT_EQ(::chmod(path.c_str(), store_mode), 0);
    ASSERT_EQ(::chmod(key.c_str(), key_mode), 0);
    store = SqliteItemStore::Open(path);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(key), 0600u);
    EXPECT_EQ(Mode(path + "-wal"), 0600u);
    EXPECT_EQ(Mode(path + "-shm"), 0600u);
    EXPECT_EQ(Load(*store, For(u"\U0001F511 key")), std::string("\0binary\xff", 8));
  }
}

// Once a write returns, the database file alone holds it: a copy of the .db and key files (not
// the -wal and -shm files), taken with the store still open, opens with every write in it. The
// default store is never closed, so a write left in the log would be missing from such a copy,
// and from the .db file after the program ends.
TEST_F(SqliteItemStoreTest, ACopyOfTheDatabaseAndKeyFilesHoldsEveryReturnedWrite) {
  auto store = SqliteItemStore::Open(path_);
  ASSERT_NE(store, nullptr);
  int copies = 0;
  // The value of "token" in a copy of the two files made now; "" when it has none.
  const auto in_copy = [&] {
    const std::string copy = dir_.File("copy" + std::to_string(++copies) + ".db");
    CopyStore(path_, copy);
    auto copied = SqliteItemStore::Open(copy);
    return copied != nullptr ? Load(*copied, For(u"token")) : "(the copy does not open)";
  };
  ASSERT_EQ(store->Add(Secret(u"token", "first")), ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "first");
  ASSERT_EQ(store->Update(For(u"token"), NewValue("second")), ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "second");
  ASSERT_EQ(store->Replace(For(u"token"), Secret(u"token", "third")), ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "third");
  ASSERT_EQ(store->Delete(For(u"token")), ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "");
  EXPECT_EQ(std::filesystem::file_size(path_ + "-wal"), 0u);  // the log is emptied each time

  // A store whose last writer left its change in the log only (an earlier version, or a
  // connection closed without moving it) has it moved into the file when it is opened.
  ASSERT_EQ(store->Add(Secret(u"token", "kept")), ItemStatus::kSuccess);
  store.reset();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE items SET label = x'6c00'", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_GT(std::filesystem::file_size(path_ + "-wal"), 0u);
  store = SqliteItemStore::Open(path_);
  ASSERT_NE(store, nullptr);
  const std::string copy = dir_.File("opened.db");
  std::filesystem::copy_file(path_, copy);
  EXPECT_EQ(RunSql(copy, "SELECT hex(label) FROM items"), "6C00");
}

TEST_F(SqliteItemStoreTest, TamperedValuesReadAsNotFound) {
  MakeStore(path_, {Secret(u"a", "secret"), Secret(u"b", "secret"), Secret(u"c", "secret"),
                    Secret(u"d", "secret"), Secret(u"e", "secret"),
                    Password(u"e", std::nullopt, true, "twin")});
  // a: one bit of the ciphertext flipped; b: c's sealed value moved onto it; c: truncated;
  // e: the values of the item and its synchronizable twin swapped; d: left alone.
  RunSql(path_,
         "UPDATE items SET value = CAST(substr(value, 1, 29) ||"
         "  CASE WHEN substr(value, 30, 1) = x'00' THEN x'01' ELSE x'00' END ||"
         "  substr(value, 31) AS BLOB) WHERE account = x'6100';"
         "UPDATE items SET value = (SELECT value FROM items WHERE account = x'6300')"
         "  WHERE account = x'6200';"
         "UPDATE items SET value = substr(value, 1, 20) WHERE account = x'6300';"
         "CREATE TEMP TABLE e AS SELECT sync, value FROM items WHERE account = x'6500';"
         "UPDATE items SET value = (SELECT value FROM e WHERE e.sync != items.sync)"
         "  WHERE account = x'6500';");
  auto store = SqliteItemStore::Open(path_);
  ASSERT_NE(store, nullptr);
  for (const char16_t* name : {u"a", u"b", u"c", u"e"}) {
    EXPECT_EQ(store->CopyMatching(For(name, SyncMatch::kNo), nullptr), ItemStatus::kNotFound)
        << std::string(name, name + 1);
  }
  EXPECT_EQ(store->CopyMatching(For(u"e", SyncMatch::kYes), nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(Load(*store, For(u"d")), "secret");

  // Under another key nothing verifies; the application's own key works across opens.
  const Data other_key(SqliteItemStore::kKeySize, 0x42);
  auto foreign = SqliteItemStore::Open(path_, &other_key);
  ASSERT_NE(foreign, nullptr);
  EXPECT_EQ(foreign->CopyMatching(For(u"d"), nullptr), ItemStatus::kNotFound);
  ASSERT_EQ(foreign->Add(Secret(u"f", "mine")), ItemStatus::kSuccess);
  EXPECT_EQ(store->CopyMatching(For(u"f"), nullptr), ItemStatus::kNotFound);
  auto again = SqliteItemStore::Open(path_, &other_key);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Load(*again, For(u"f")), "mine");
}

// seal_v1.db was written by the store before seals bound the synchronizable flag, under a key of
// 32 bytes 0x4B: "token" ("plain"), its synchronizable twin ("synced") and "token" in the group
// "team" ("grouped").
TEST_F(SqliteItemStoreTest, StoresSealedTheEarlierWayLoadAndAreResealedOnSave) {
  std::filesystem::copy_file(std::string(KELVANE_TESTDATA_DIR) + "/stores/seal_v1.db", path_);
  const Data key(SqliteItemStore::kKeySize, 0x4B);
  const auto check = [&](const char* plain) {
    auto store = SqliteItemStore::Open(path_, &key);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(Load(*store, For(u"token", SyncMatch::kNo, u"")), plain);
    EXPECT_EQ(Load(*store, For(u"token", SyncMatch::kYes)), "synced");
    EXPECT_EQ(Load(*store, For(u"token", SyncMatch::kNo, u"team")), "grouped");
  };
  check("plain");
  {
    auto store = SqliteItemStore::Open(path_, &key);
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(store->Update(For(u"token", SyncMatch::kNo, u""), NewValue("new")),
              ItemStatus::kSuccess);
  }
  // The saved item carries the current seal (version 2), the others keep theirs.
  EXPECT_EQ(RunSql(path_,
                   "SELECT group_concat(hex(substr(value, 1, 1)), ',') FROM"
                   " (SELECT value FROM items ORDER BY sync, length(agrp))"),
            "02,01,01");
  check("new");
}

// A store holding secrets whose key file is gone (k.db) is refused too: a fresh key would seal
// new secrets apart from the old ones, and the file put back later would then lose the new ones.
TEST_F(SqliteItemStoreTest, RefusesWhatItCannotTrustAndSaysWhy) {
  const Data short_key(31, 1);
  const std::string long_key(SqliteItemStore::kKeySize + 1, 'k');  // one byte too many
  dir_.Write("b.db.key", long_key);
  dir_.Write("c.db", std::string(4096, 'x'));
  RunSql(dir_.File("d.db"), "CREATE TABLE items(x);");
  RunSql(dir_.File("e.db"), "CREATE TABLE quotes(symbol, bid);");
  ASSERT_EQ(::mkdir(dir_.File("f.db").c_str(), 0700), 0);
  dir_.Write("file", "");
  // A link at the store's path, dangling or to a store, and a key file that is a link.
  ASSERT_EQ(::symlink(dir_.File("made.db").c_str(), dir_.File("h.db").c_str()), 0);
  ASSERT_NE(SqliteItemStore::Open(dir_.File("store/i.db")), nullptr);
  ASSERT_EQ(::symlink(dir_.File("store/i.db").c_str(), dir_.File("i.db").c_str()), 0);
  ASSERT_EQ(::symlink(dir_.File("store/i.db.key").c_str(), dir_.File("j.db.key").c_str()), 0);
  MakeStore(dir_.File("k.db"), {Secret(u"a", "kept")});
  std::filesystem::rename(dir_.File("k.db.key"), dir_.File("k.db.away"));
  const std::string link = "a symbolic link, which the secure store does not follow";
  const std::string not_store = "an SQLite database, but not a secure store (the table ";

  struct Case {
    std::string path;
    Error error;
    const Data* key = nullptr;
  } cases[] = {
      {dir_.File("a.db"), {ErrorKind::kMalformed, "a master key is 32 bytes, not 31"}, &short_key},
      {"", {ErrorKind::kMissing, "no path for the secure store"}},
      {dir_.File("b.db"),
       {ErrorKind::kMalformed, "the key file " + dir_.File("b.db.key") + " is not 32 bytes"}},
      {dir_.File("c.db"), {ErrorKind::kMalformed, "not a secure store (not an SQLite database)"}},
      {dir_.File("d.db"), {ErrorKind::kMalformed, not_store + "'items' is not the store's)"}},
      {dir_.File("e.db"), {ErrorKind::kMalformed, not_store + "'quotes' is not the store's)"}},
      {dir_.File("f.db"), {ErrorKind::kNotRegularFile, "a folder, not a secure store"}},
      {dir_.File("file/g.db"), {ErrorKind::kMissing, "Not a directory"}},
      {dir_.File("h.db"), {ErrorKind::kNotRegularFile, link}},
      {dir_.File("i.db"), {ErrorKind::kNotRegularFile, link}},
      {dir_.File("j.db"),
       {ErrorKind::kNotRegularFile, "the key file " + dir_.File("j.db.key") + " is " + link}},
      {dir_.File("k.db"),
       {ErrorKind::kMissing, "the key file " + dir_.File("k.db.key") +
                                 " is missing, yet the store holds secrets sealed with it: put it "
                                 "back beside the store"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto opened = SqliteItemStore::TryOpen(c.path, c.key);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error(), c.error);
  }
  // Nothing was written beside or into what was refused: the wrong key file stays as it was,
  // no key file or log appeared, and the other application's table is untouched.
  EXPECT_EQ(Contents(SqliteItemStore::KeyPath(dir_.File("b.db"))), long_key);
  EXPECT_EQ(testing::Names(dir_.path()),
            (std::set<std::string>{"b.db", "b.db.key", "c.db", "d.db", "e.db", "f.db", "file",
                                   "h.db", "i.db", "j.db.key", "k.db", "k.db.away", "store"}));
  EXPECT_EQ(RunSql(dir_.File("e.db"), "SELECT group_concat(name) FROM sqlite_master"), "quotes");
  EXPECT_EQ(RunSql(dir_.File("e.db"), "PRAGMA journal_mode"), "delete");
  // With its key file back, the store holding secrets opens with them.
  std::filesystem::rename(dir_.File("k.db.away"), dir_.File("k.db.key"));
  auto store = SqliteItemStore::Open(dir_.File("k.db"));
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(Load(*store, For(u"a")), "kept");
}

// A trigger could empty the store on the next write; a view, index, table or column of someone
// else's could change what the store's statements do. Each is refused before anything runs.
TEST_F(SqliteItemStoreTest, RefusesAFileWithAnySchemaObjectItDidNotMakeAndChangesNothing) {
  const std::string original = dir_.File("original.db");
  MakeStore(original, {Secret(u"a", "kept")});
  const struct {
    const char* sql;
    const char* object;
  } cases[] = {
      {"CREATE TRIGGER wipe AFTER INSERT ON items BEGIN DELETE FROM items; END", "trigger 'wipe'"},
      {"CREATE TRIGGER keep BEFORE DELETE ON items BEGIN SELECT RAISE(IGNORE); END",
       "trigger 'keep'"},
      {"CREATE VIEW everything AS SELECT * FROM items", "view 'everything'"},
      {"CREATE INDEX by_label ON items(label)", "index 'by_label'"},
      {"CREATE TABLE quotes(symbol)", "table 'quotes'"},
      {"ALTER TABLE items ADD COLUMN extra DEFAULT 1", "table 'items'"},
      {"ANALYZE", "table 'sqlite_stat1'"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    const std::string path = dir_.File("hostile" + std::to_string(++n) + ".db");
    CopyStore(original, path);
    RunSql(path, c.sql);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    const std::string before = Contents(path);

    auto opened = SqliteItemStore::TryOpen(path);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error(),
              (Error{ErrorKind::kMalformed, std::string("an SQLite database, but not a secure "
                                                        "store (the ") +
                                                c.object + " is not the store's)"}));
    EXPECT_EQ(Contents(path), before);
    EXPECT_EQ(Mode(path), 0644u);  // not even made private: it is not the store's to change
    EXPECT_EQ(RunSql(path, "SELECT count(*) FROM items"), "1");
  }
  // The store's own file, with every object it made, still opens.
  auto store = SqliteItemStore::Open(original);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(Load(*store, For(u"a")), "kept");
}

// A file written behind the store's back holds a value of 320 MiB and a label of 64 MiB. Each is
// refused as too large without being read: the child that reads them has less memory than
// either takes, and the secret beside them still reads.
constexpr char kOversizedStoreVariable[] = "KELVANE_TEST_OVERSIZED_STORE";
const bool oversized_child = testing::ChildProcess("store-oversized", [] {
  const char* path = std::getenv(kOversizedStoreVariable);
  auto store = path != nullptr ? SqliteItemStore::Open(path) : nullptr;
  if (store == nullptr) return 10;
  ItemAttributes out;
  if (store->CopyMatching(For(u"big"), &out) != ItemStatus::kTooLarge) return 11;
  if (store->CopyMatching(For(u"big"), nullptr) != ItemStatus::kTooLarge) return 12;
  if (store->CopyMatching(For(u"labelled"), &out) != ItemStatus::kTooLarge) return 13;
  if (Load(*store, For(u"a")) != "kept") return 14;
  // The hostile item can be removed, its label unread.
  if (store->Delete(For(u"labelled")) != ItemStatus::kSuccess) return 15;
  if (store->CopyMatching(For(u"labelled"), nullptr) != ItemStatus::kNotFound) return 16;
  return 0;
});

TEST_F(SqliteItemStoreTest, AHugeValueInTheFileIsRefusedUnreadUnderAMemoryLimit) {
  MakeStore(path_, {Secret(u"a", "kept")});
  // The accounts "big" and "labelled", as the store keeps them: UTF-16 units.
  // Written once, unsynced: the test needs the bytes, not their safety.
  RunSql(path_,
         "PRAGMA journal_mode=DELETE; PRAGMA synchronous=OFF;"
         "INSERT INTO items(class, key, account, agrp, sync, accessible, ctype, cenc, value)"
         "  VALUES(0, x'620069006700', x'620069006700', x'', 0, 0, 0, 0, zeroblob(167772160));"
         "INSERT INTO items(class, key, account, agrp, sync, accessible, label, ctype, cenc, value)"
         "  VALUES(0, x'6c006100620065006c006c0065006400', x'6c006100620065006c006c0065006400',"
         "         x'', 0, 0, zeroblob(16777216), 0, 0, x'02');");
  testing::ScopedEnvironment env({{kOversizedStoreVariable, path_.c_str()}});
  const testing::ChildOutcome outcome =
      testing::RunLimitedChild("store-oversized", {.memory_bytes = 128u << 20, .seconds = 20});
  EXPECT_EQ(outcome.status, 0) << "10: no store; 11-13: not refused as too large; 14: the "
                                  "secret beside them lost; 15-16: the huge item not deleted";
}

// Every save meets each kind of disk fault at each of its file calls in turn (the Nth call from
// the save's start, N = 1, 2, ... until the save makes fewer than N calls), on a fresh copy of a
// store holding A and B. After each run: the save succeeded, or failed saying so; a disk that
// failed (full, I/O error, torn write) is a reported failure unless the write already stood in
// the log, where it stays durable (the move into the database file failed, and the log is left
// for the next write or open); each secret is wholly before or wholly after the save, after
// the save when it reported success, in this store and when opened again; the same store still
// saves; and nothing but the store and its key file is left once it is closed.
TEST(SqliteItemStore, KeepsEveryCommittedSecretWhenTheDiskFailsAtAnyCall) {
  using internal::FileFault;
  const testing::TempDir dir;
  const std::string original = dir.File("original/keychain.db");
  const std::string path = dir.File("run/keychain.db");
  MakeStore(original, {Secret(u"A", "value A"), Secret(u"B", "value B")});
  std::shared_ptr<SqliteItemStore> store;  // the run's store, open from prepare to after_each
  // The secrets A, B and C as "name=value;", the absent ones left out.
  const auto values = [](ItemStore& from) {
    std::string held;
    for (const char16_t* name : {u"A", u"B", u"C"}) {
      const std::string value = Load(from, For(name));
      if (!value.empty()) held += std::string(1, static_cast<char>(name[0])) + "=" + value + ";";
    }
    return held;
  };
  const auto row = [&](std::string name, std::function<ItemStatus(ItemStore&)> save,
                       std::string after) {
    return testing::SavePath{
        std::move(name),
        [&] {
          store.reset();
          std::filesystem::remove_all(dir.File("run"));
          std::filesystem::create_directory(dir.File("run"));
          CopyStore(original, path);
          store = SqliteItemStore::Open(path);
          ASSERT_NE(store, nullptr);
        },
        [&, save]() -> Status {
          const ItemStatus status = save(*store);
          EXPECT_THAT(status, ::testing::AnyOf(ItemStatus::kSuccess, ItemStatus::kIO));
          if (status == ItemStatus::kSuccess) return std::monostate();
          return Error{ErrorKind::kIo, "the store answered " + std::to_string(int(status))};
        },
        [&] { return values(*store); },
        "A=value A;B=value B;",
        std::move(after),
        // A fault while the log is moved into the database file, after the commit, is not the
        // save's: what it wrote is whole in the log, moved on the next write or open.
        [&] { return std::filesystem::file_size(path + "-wal") > 0; },
        [&] {
          ASSERT_EQ(store->Add(Password(u"D")), ItemStatus::kSuccess)
              << "the store no longer saves";
          ASSERT_EQ(store->Delete(For(u"D")), ItemStatus::kSuccess);
          const std::string now = values(*store);
          store.reset();
          auto reopened = SqliteItemStore::Open(path);
          ASSERT_NE(reopened, nullptr);
          EXPECT_EQ(values(*reopened), now);
          EXPECT_TRUE(reopened->CheckIntegrity());
          reopened.reset();
          EXPECT_EQ(testing::Names(dir.File("run")),
                    (std::set<std::string>{"keychain.db", "keychain.db.key"}));
        },
    };
  };
  const testing::SavePath saves[] = {
      row(
          "set C", [](ItemStore& to) { return to.Replace(For(u"C"), Secret(u"C", "value C")); },
          "A=value A;B=value B;C=value C;"),
      row(
          "delete A", [](ItemStore& to) { return to.Delete(For(u"A")); }, "B=value B;"),
      row(
          "update B", [](ItemStore& to) { return to.Update(For(u"B"), NewValue("new")); },
          "A=value A;B=new;"),
  };
  for (const testing::SavePath& save : saves) {
    for (const FileFault fault :
         {FileFault::kNoSpace, FileFault::kIo, FileFault::kInterrupted, FileFault::kShortWrite}) {
      const testing::FaultWalk walk = testing::WalkSaveFaults(save, dir.File("run"), fault);
      // Every kind but the interruption, which SQLite's own layer retries, fails some run.
      EXPECT_GE(walk.failed, fault == FileFault::kInterrupted ? 0u : 1u) << save.name;
      std::printf("%-9s %-12s %3u runs: %3u failed with the reason, %3u reported success\n",
                  save.name.c_str(), testing::FaultName(fault), walk.runs, walk.failed,
                  walk.succeeded);
    }
  }
}

TEST(SqliteItemStore, AKilledSaveKeepsEveryCommittedSecret) {
  const testing::TempDir dir;
  const std::string path = dir.File("run/keychain.db");
  std::shared_ptr<SqliteItemStore> child_store;  // opened by the saving child
  // Secret n is named "sn" and holds "value n".
  const auto name = [](unsigned n) {
    const std::string text = "s" + std::to_string(n);
    return String(text.begin(), text.end());
  };
  const auto value = [](unsigned n) { return "value " + std::to_string(n); };
  // The store holds secrets 1 to N when it reads "N secrets".
  const auto secrets = [](unsigned n) { return std::to_string(n) + " secrets"; };
  const testing::KillOutcome outcome = testing::KillSaves(
      "secret store", testing::KillsPerPath() / 2, std::chrono::milliseconds(400), 20261208,
      [&] {
        std::filesystem::remove_all(dir.File("run"));
        std::filesystem::create_directory(dir.File("run"));
        ASSERT_NE(SqliteItemStore::Open(path), nullptr);
      },
      [&](unsigned n) -> Status {
        if (child_store == nullptr) child_store = SqliteItemStore::Open(path);
        if (child_store->Add(Secret(name(n), value(n))) != ItemStatus::kSuccess) {
          return Error{ErrorKind::kIo, "the secret was not added"};
        }
        return std::monostate();
      },
      secrets,
      [&] {
        const auto store = SqliteItemStore::Open(path);
        if (store == nullptr) return std::string("the store does not open");
        EXPECT_TRUE(store->CheckIntegrity());
        unsigned held = 0;
        while (Load(*store, For(name(held + 1))) == value(held + 1)) ++held;
        return secrets(held);
      });
  std::printf("secret store %3u kills: %3u found the last secret reported, %3u the next\n",
              outcome.kills, outcome.old_content, outcome.new_content);
}

TEST(SqliteItemStore, DefaultPathFollowsTheEnvironment) {
  testing::ScopedEnvironment env(
      {{"KELVANE_KEYCHAIN", "/x/k.db"}, {"XDG_DATA_HOME", "/data"}, {"HOME", "/home/u"}});
  EXPECT_EQ(SqliteItemStore::DefaultPath(), "/x/k.db");
  testing::ScopedEnvironment::Set("KELVANE_KEYCHAIN", "");
  EXPECT_EQ(SqliteItemStore::DefaultPath(), "/data/kelvane/keychain.db");
  testing::ScopedEnvironment::Set("XDG_DATA_HOME", "relative");  // not absolute: ignored
  EXPECT_EQ(SqliteItemStore::DefaultPath(), "/home/u/.local/share/kelvane/keychain.db");
  testing::ScopedEnvironment::Set("XDG_DATA_HOME", nullptr);
  testing::ScopedEnvironment::Set("HOME", nullptr);
  EXPECT_EQ(SqliteItemStore::DefaultPath(), std::nullopt);
}

// Whether another process sees a lock of this one on `length` bytes at `offset` of `path`.
bool LockedByUs(const std::string& path, off_t offset, off_t length) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(path.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    ::_exit(fd >= 0 && ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Closing any descriptor of a file lets go of every lock the process holds on it. Opening a
// second store on a path must not do that to the first: another process would then take the
// log's index for unused and empty it under the first store's feet (SQLite's "bus error").
TEST_F(SqliteItemStoreTest, OpeningAStoreAgainKeepsTheLocksOfTheOneOpen) {
  auto first = SqliteItemStore::Open(path_);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(first->Add(Password(u"a")), ItemStatus::kSuccess);
  // The byte of the index that says a connection has it open (SQLite's Unix layer: 128), and
  // the database's own lock (0 bytes: to the end of the file).
  ASSERT_TRUE(LockedByUs(path_ + "-shm", 128, 1));
  ASSERT_TRUE(LockedByUs(path_, 0, 0));
  ASSERT_EQ(::chmod((path_ + "-shm").c_str(), 0644), 0);  // to be made private, not reopened
  ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);
  auto second = SqliteItemStore::Open(path_);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(LockedByUs(path_ + "-shm", 128, 1));
  EXPECT_TRUE(LockedByUs(path_, 0, 0));
  EXPECT_EQ(Mode(path_ + "-shm"), 0600u);
  EXPECT_EQ(Mode(path_), 0600u);
  second.reset();
  EXPECT_TRUE(LockedByUs(path_ + "-shm", 128, 1));
  EXPECT_TRUE(LockedByUs(path_, 0, 0));
  EXPECT_EQ(first->CopyMatching(For(u"a"), nullptr), ItemStatus::kSuccess);
}

// ---- under real processes ----------------------------------------------------------------------

// Two threads update (else replace) and load their own names until the deadline; the number of
// failed operations.
int ChurnWithTwoThreads(ItemStore& store, const std::string& who,
                        std::chrono::steady_clock::time_point deadline,
                        std::atomic<int>& operations) {
  std::atomic<int> failures = 0;
  auto churn = [&](const std::string& me) {
    for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i, operations += 2) {
      const String name =
          u"churn-" + String(me.begin(), me.end()) + u"-" + String(1, char16_t(u'0' + i % 4));
      const bool sync = i % 3 == 0;
      const ItemAttributes item = Password(name, std::nullopt, sync, me + std::to_string(i));
      const ItemUpdate update = NewValue(me + std::to_string(i));
      const bool saved = store.Update(For(name, sync ? SyncMatch::kYes : SyncMatch::kNo), update) ==
                             ItemStatus::kSuccess ||
                         store.Replace(For(name), item) == ItemStatus::kSuccess;
      if (!saved || Load(store, For(name)) != me + std::to_string(i)) {
        ++failures;
        ADD_FAILURE() << me << ": round " << i << (saved ? " loaded another value" : " not saved");
      }
    }
  };
  std::thread a(churn, who + "a");
  churn(who + "b");
  a.join();
  return failures;
}

TEST_F(SqliteItemStoreTest, TwoProcessesAndTwoThreadsNeverSeeABusyStore) {
  ASSERT_NE(SqliteItemStore::Open(path_), nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    auto store = SqliteItemStore::Open(path_);
    if (store == nullptr) ::_exit(100);
    std::atomic<int> operations = 0;
    const int failures = ChurnWithTwoThreads(*store, "child", deadline, operations);
    std::fflush(stdout);
    ::_exit(failures == 0 && operations > 0 ? 0 : std::min(failures + 1, 99));
  }
  auto store = SqliteItemStore::Open(path_);
  ASSERT_NE(store, nullptr);
  std::atomic<int> operations = 0;
  EXPECT_EQ(ChurnWithTwoThreads(*store, "parent", deadline, operations), 0);
  EXPECT_GT(operations.load(), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed operations in the child (status 1 + failures)";
  EXPECT_TRUE(store->CheckIntegrity());
}

TEST(StoreFiles, SyncsTheFolderThePathNames) {
  const Status missing = internal::SyncFolderOf("/no such folder/store.db");
  ASSERT_FALSE(missing.ok());
  EXPECT_THAT(missing.error().message, ::testing::HasSubstr("the folder /no such folder:"));
  EXPECT_TRUE(internal::SyncFolderOf("store.db").ok());   // the current folder
  EXPECT_TRUE(internal::SyncFolderOf("/store.db").ok());  // the root
  // A flush interrupted by a signal is made again: the open, the flush, the close.
  testing::TempDir dir;
  internal::ArmFileFault(2, internal::FileFault::kInterrupted);
  EXPECT_TRUE(internal::SyncFolderOf(dir.File("store.db")).ok());
  EXPECT_TRUE(internal::FileFaultMet());
  internal::ArmFileFault(0, internal::FileFault::kInterrupted);
}

}  // namespace
}  // namespace kelvane::platform

namespace kelvane::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, ItemStoreRules, platform::SqliteStoreMaker);
}  // namespace kelvane::testing
