// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/sqlite_item_store.h"

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
#include <thread>
#include <vector>

#include "kelvane/testing/item_store_rules.h"
#include "kelvane/testing/items.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {

namespace {

using testing::For;
using testing::Password;

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

struct SqliteStoreMaker {
  static std::shared_ptr<ItemStore> Make(const testing::TempDir& dir) {
    return SqliteItemStore::Open(dir.File("rules.db"));
  }
};

TEST(SqliteItemStore, FilesArePrivateAndValuesPersist) {
  testing::TempDir dir;
  ::umask(022);
  const std::string path = dir.File("new/folder/keychain.db");
  {
    auto store = SqliteItemStore::Open(path);
    ASSERT_NE(store, nullptr);
    ItemAttributes item = Password(u"\U0001F511 key", u"team.shared", false, {"\0binary\xff", 8});
    item.label = u"";
    ASSERT_EQ(store->Add(item), ItemStatus::kSuccess);
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(SqliteItemStore::KeyPath(path)), 0600u);
    EXPECT_EQ(Mode(dir.File("new/folder")), 0700u);
  }
  auto store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  ItemAttributes out;
  ASSERT_EQ(store->CopyMatching(For(u"\U0001F511 key"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data({0, 'b', 'i', 'n', 'a', 'r', 'y', 0xff}));
  EXPECT_EQ(out.access_group, u"team.shared");
  EXPECT_EQ(out.label, u"");  // an empty label is not an absent one

  // The bytes of the secret are not in the file.
  std::ifstream in(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ifstream wal(path + "-wal", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(wal)), std::istreambuf_iterator<char>());
  EXPECT_EQ(file.find("binary"), std::string::npos);
  EXPECT_EQ(log.find("binary"), std::string::npos);
}

// Once a write returns, the database file alone holds it: a copy of the .db and key files (not
// the -wal and -shm files), taken with the store still open, opens with every write in it. The
// default store is never closed, so a write left in the log would be missing from such a copy,
// and from the .db file after the program ends.
TEST(SqliteItemStore, ACopyOfTheDatabaseAndKeyFilesHoldsEveryReturnedWrite) {
  testing::TempDir dir;
  const std::string path = dir.File("keychain.db");
  auto store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  int copies = 0;
  // The value of "token" in a copy of the two files made now; "" when it has none.
  const auto in_copy = [&] {
    const std::string copy = dir.File("copy" + std::to_string(++copies) + ".db");
    std::filesystem::copy_file(path, copy);
    std::filesystem::copy_file(SqliteItemStore::KeyPath(path), SqliteItemStore::KeyPath(copy));
    auto copied = SqliteItemStore::Open(copy);
    return copied != nullptr ? Load(*copied, For(u"token")) : "(the copy does not open)";
  };
  ASSERT_EQ(store->Add(Password(u"token", std::nullopt, false, "first")), ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "first");
  ItemUpdate update;
  update.value = Data{'s', 'e', 'c', 'o', 'n', 'd'};
  ASSERT_EQ(store->Update(For(u"token"), update), ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "second");
  ASSERT_EQ(store->Replace(For(u"token"), Password(u"token", std::nullopt, false, "third")),
            ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "third");
  ASSERT_EQ(store->Delete(For(u"token")), ItemStatus::kSuccess);
  EXPECT_EQ(in_copy(), "");
  EXPECT_EQ(std::filesystem::file_size(path + "-wal"), 0u);  // the log is emptied each time

  // A store whose last writer left its change in the log only (an earlier version, or a
  // connection closed without moving it) has it moved into the file when it is opened.
  ASSERT_EQ(store->Add(Password(u"token", std::nullopt, false, "kept")), ItemStatus::kSuccess);
  store.reset();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE items SET label = x'6c00'", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_GT(std::filesystem::file_size(path + "-wal"), 0u);
  store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  const std::string copy = dir.File("opened.db");
  std::filesystem::copy_file(path, copy);
  EXPECT_EQ(RunSql(copy, "SELECT hex(label) FROM items"), "6C00");
}

TEST(SqliteItemStore, TamperedValuesReadAsNotFound) {
  testing::TempDir dir;
  const std::string path = dir.File("keychain.db");
  {
    auto store = SqliteItemStore::Open(path);
    ASSERT_NE(store, nullptr);
    for (const char16_t* name : {u"a", u"b", u"c", u"d", u"e"}) {
      ASSERT_EQ(store->Add(Password(name, std::nullopt, false, "secret")), ItemStatus::kSuccess);
    }
    ASSERT_EQ(store->Add(Password(u"e", std::nullopt, true, "twin")), ItemStatus::kSuccess);
  }
  // a: one bit of the ciphertext flipped; b: c's sealed value moved onto it; c: truncated;
  // e: the values of the item and its synchronizable twin swapped; d: left alone.
  RunSql(path,
         "UPDATE items SET value = CAST(substr(value, 1, 29) ||"
         "  CASE WHEN substr(value, 30, 1) = x'00' THEN x'01' ELSE x'00' END ||"
         "  substr(value, 31) AS BLOB) WHERE account = x'6100';"
         "UPDATE items SET value = (SELECT value FROM items WHERE account = x'6300')"
         "  WHERE account = x'6200';"
         "UPDATE items SET value = substr(value, 1, 20) WHERE account = x'6300';"
         "CREATE TEMP TABLE e AS SELECT sync, value FROM items WHERE account = x'6500';"
         "UPDATE items SET value = (SELECT value FROM e WHERE e.sync != items.sync)"
         "  WHERE account = x'6500';");
  auto store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  for (const char16_t* name : {u"a", u"b", u"c", u"e"}) {
    EXPECT_EQ(store->CopyMatching(For(name, SyncMatch::kNo), nullptr), ItemStatus::kNotFound)
        << std::string(name, name + 1);
  }
  EXPECT_EQ(store->CopyMatching(For(u"e", SyncMatch::kYes), nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(Load(*store, For(u"d")), "secret");

  // Under another key nothing verifies; the application's own key works across opens.
  const Data other_key(SqliteItemStore::kKeySize, 0x42);
  auto foreign = SqliteItemStore::Open(path, &other_key);
  ASSERT_NE(foreign, nullptr);
  EXPECT_EQ(foreign->CopyMatching(For(u"d"), nullptr), ItemStatus::kNotFound);
  ASSERT_EQ(foreign->Add(Password(u"f", std::nullopt, false, "mine")), ItemStatus::kSuccess);
  EXPECT_EQ(store->CopyMatching(For(u"f"), nullptr), ItemStatus::kNotFound);
  auto again = SqliteItemStore::Open(path, &other_key);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Load(*again, For(u"f")), "mine");
}

// seal_v1.db was written by the store before seals bound the synchronizable flag, under a key of
// 32 bytes 0x4B: "token" ("plain"), its synchronizable twin ("synced") and "token" in the group
// "team" ("grouped").
TEST(SqliteItemStore, StoresSealedTheEarlierWayLoadAndAreResealedOnSave) {
  testing::TempDir dir;
  const std::string path = dir.File("old.db");
  std::filesystem::copy_file(std::string(KELVANE_TESTDATA_DIR) + "/stores/seal_v1.db", path);
  const Data key(SqliteItemStore::kKeySize, 0x4B);
  const auto check = [&](const char* plain) {
    auto store = SqliteItemStore::Open(path, &key);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(Load(*store, For(u"token", SyncMatch::kNo, u"")), plain);
    EXPECT_EQ(Load(*store, For(u"token", SyncMatch::kYes)), "synced");
    EXPECT_EQ(Load(*store, For(u"token", SyncMatch::kNo, u"team")), "grouped");
  };
  check("plain");
  {
    auto store = SqliteItemStore::Open(path, &key);
    ASSERT_NE(store, nullptr);
    ItemUpdate update;
    update.value = Data{'n', 'e', 'w'};
    ASSERT_EQ(store->Update(For(u"token", SyncMatch::kNo, u""), update), ItemStatus::kSuccess);
  }
  // The saved item carries the current seal (version 2), the others keep theirs.
  EXPECT_EQ(RunSql(path,
                   "SELECT group_concat(hex(substr(value, 1, 1)), ',') FROM"
                   " (SELECT value FROM items ORDER BY sync, length(agrp))"),
            "02,01,01");
  check("new");
}

TEST(SqliteItemStore, RefusesWhatItCannotTrustAndSaysWhy) {
  testing::TempDir dir;
  const Data short_key(31, 1);
  const std::string long_key(SqliteItemStore::kKeySize + 1, 'k');  // one byte too many
  dir.Write("b.db.key", long_key);
  dir.Write("c.db", std::string(4096, 'x'));
  RunSql(dir.File("d.db"), "CREATE TABLE items(x);");
  RunSql(dir.File("e.db"), "CREATE TABLE quotes(symbol, bid);");
  ASSERT_EQ(::mkdir(dir.File("f.db").c_str(), 0700), 0);
  dir.Write("file", "");

  struct Case {
    std::string path;
    const Data* key;
    Error error;
  } cases[] = {
      {dir.File("a.db"), &short_key, {ErrorKind::kMalformed, "a master key is 32 bytes, not 31"}},
      {"", nullptr, {ErrorKind::kMissing, "no path for the secure store"}},
      {dir.File("b.db"),
       nullptr,
       {ErrorKind::kMalformed, "the key file " + dir.File("b.db.key") + " is not 32 bytes"}},
      {dir.File("c.db"),
       nullptr,
       {ErrorKind::kMalformed, "not a secure store (not an SQLite database)"}},
      {dir.File("d.db"),
       nullptr,
       {ErrorKind::kMalformed, "an SQLite database, but not a secure store"}},
      {dir.File("e.db"),
       nullptr,
       {ErrorKind::kMalformed, "an SQLite database, but not a secure store"}},
      {dir.File("f.db"), nullptr, {ErrorKind::kNotRegularFile, "a folder, not a secure store"}},
      {dir.File("file/g.db"), nullptr, {ErrorKind::kMissing, "Not a directory"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto opened = SqliteItemStore::TryOpen(c.path, c.key);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error(), c.error);
  }
  // Nothing was written beside or into what was refused: the wrong key file stays as it was,
  // no key file or log appeared, and the other application's table is untouched.
  std::ifstream key(SqliteItemStore::KeyPath(dir.File("b.db")));
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(key)), std::istreambuf_iterator<char>()),
            long_key);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"b.db", "b.db.key", "c.db", "d.db", "e.db", "f.db", "file"}));
  EXPECT_EQ(RunSql(dir.File("e.db"), "SELECT group_concat(name) FROM sqlite_master"), "quotes");
  EXPECT_EQ(RunSql(dir.File("e.db"), "PRAGMA journal_mode"), "delete");
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
      ItemUpdate update;
      update.value = item.value;
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

TEST(SqliteItemStore, TwoProcessesAndTwoThreadsNeverSeeABusyStore) {
  testing::TempDir dir;
  const std::string path = dir.File("shared.db");
  ASSERT_NE(SqliteItemStore::Open(path), nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    auto store = SqliteItemStore::Open(path);
    if (store == nullptr) ::_exit(100);
    std::atomic<int> operations = 0;
    const int failures = ChurnWithTwoThreads(*store, "child", deadline, operations);
    std::fflush(stdout);
    ::_exit(failures == 0 && operations > 0 ? 0 : std::min(failures + 1, 99));
  }
  auto store = SqliteItemStore::Open(path);
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

}  // namespace
}  // namespace kelvane::platform

namespace kelvane::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, ItemStoreRules, platform::SqliteStoreMaker);
}  // namespace kelvane::testing
