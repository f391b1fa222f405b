#include "kelvane/platform/sqlite_item_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {

void CheckStoreRules(ItemStore& store);  // item_store_test.cc

namespace {

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0xFFFF;
}

ItemAttributes Secret(String account, std::string_view value) {
  ItemAttributes item;
  item.account = std::move(account);
  item.value = Data(value.begin(), value.end());
  return item;
}

ItemQuery Account(String account) {
  ItemQuery query;
  query.account = std::move(account);
  query.synchronizable = SyncMatch::kAny;
  return query;
}

// Runs one statement on the database file behind the store's back.
void Tamper(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(SqliteItemStore, FollowsTheStoreRules) {
  testing::TempDir dir;
  auto store = SqliteItemStore::Open(dir.File("rules.db"));
  ASSERT_NE(store, nullptr);
  CheckStoreRules(*store);
  EXPECT_TRUE(store->CheckIntegrity());
}

TEST(SqliteItemStore, FilesArePrivateAndValuesPersist) {
  testing::TempDir dir;
  ::umask(022);
  const std::string path = dir.File("new/folder/keychain.db");
  {
    auto store = SqliteItemStore::Open(path);
    ASSERT_NE(store, nullptr);
    ItemAttributes item = Secret(u"\U0001F511 key", std::string("\0binary\xff", 8));
    item.access_group = u"team.shared";
    item.label = u"";
    ASSERT_EQ(store->Add(item), ItemStatus::kSuccess);
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(SqliteItemStore::KeyPath(path)), 0600u);
    EXPECT_EQ(Mode(path + "-wal"), 0600u);
    EXPECT_EQ(Mode(dir.File("new/folder")), 0700u);
  }
  auto store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  ItemAttributes out;
  ASSERT_EQ(store->CopyMatching(Account(u"\U0001F511 key"), &out), ItemStatus::kSuccess);
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

TEST(SqliteItemStore, TamperedValuesReadAsNotFound) {
  testing::TempDir dir;
  const std::string path = dir.File("keychain.db");
  {
    auto store = SqliteItemStore::Open(path);
    ASSERT_NE(store, nullptr);
    for (const char16_t* name : {u"a", u"b", u"c", u"d"}) {
      ASSERT_EQ(store->Add(Secret(name, "secret")), ItemStatus::kSuccess);
    }
  }
  // a: one bit of the ciphertext flipped; b: c's sealed value moved onto it; c: truncated;
  // d: left alone.
  Tamper(path,
         "UPDATE items SET value = CAST(substr(value, 1, 29) ||"
         "  CASE WHEN substr(value, 30, 1) = x'00' THEN x'01' ELSE x'00' END ||"
         "  substr(value, 31) AS BLOB) WHERE account = x'6100';");
  Tamper(path,
         "UPDATE items SET value = (SELECT value FROM items WHERE account = x'6300')"
         " WHERE account = x'6200';");
  Tamper(path, "UPDATE items SET value = substr(value, 1, 20) WHERE account = x'6300';");
  auto store = SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->CopyMatching(Account(u"a"), nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(store->CopyMatching(Account(u"b"), nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(store->CopyMatching(Account(u"c"), nullptr), ItemStatus::kNotFound);
  ItemAttributes out;
  ASSERT_EQ(store->CopyMatching(Account(u"d"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data({'s', 'e', 'c', 'r', 'e', 't'}));

  // Under another key nothing verifies; the application's own key works across opens.
  const Data other_key(SqliteItemStore::kKeySize, 0x42);
  auto foreign = SqliteItemStore::Open(path, &other_key);
  ASSERT_NE(foreign, nullptr);
  EXPECT_EQ(foreign->CopyMatching(Account(u"d"), nullptr), ItemStatus::kNotFound);
  ASSERT_EQ(foreign->Add(Secret(u"e", "mine")), ItemStatus::kSuccess);
  EXPECT_EQ(store->CopyMatching(Account(u"e"), nullptr), ItemStatus::kNotFound);
  auto again = SqliteItemStore::Open(path, &other_key);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->CopyMatching(Account(u"e"), nullptr), ItemStatus::kSuccess);
}

TEST(SqliteItemStore, RefusesWhatItCannotTrust) {
  testing::TempDir dir;
  const Data short_key(31, 1);
  EXPECT_EQ(SqliteItemStore::Open(dir.File("a.db"), &short_key), nullptr);
  EXPECT_EQ(SqliteItemStore::Open(""), nullptr);

  // A key file of the wrong size is an error, and stays as it was.
  const std::string path = dir.File("b.db");
  dir.Write("b.db.key", "too short");
  EXPECT_EQ(SqliteItemStore::Open(path), nullptr);
  std::ifstream key(SqliteItemStore::KeyPath(path));
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(key)), std::istreambuf_iterator<char>()),
            "too short");

  // Files that are not stores.
  dir.Write("c.db", std::string(4096, 'x'));
  EXPECT_EQ(SqliteItemStore::Open(dir.File("c.db")), nullptr);
  Tamper(dir.File("d.db"), "CREATE TABLE items(x);");
  EXPECT_EQ(SqliteItemStore::Open(dir.File("d.db")), nullptr);
}

TEST(SqliteItemStore, DefaultPathFollowsTheEnvironment) {
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* name : {"KELVANE_KEYCHAIN", "XDG_DATA_HOME", "HOME"}) {
    const char* v = std::getenv(name);
    saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
  }
  ::setenv("KELVANE_KEYCHAIN", "/x/k.db", 1);
  ::setenv("XDG_DATA_HOME", "/data", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(SqliteItemStore::DefaultPath(), "/x/k.db");
  ::setenv("KELVANE_KEYCHAIN", "", 1);
  EXPECT_EQ(SqliteItemStore::DefaultPath(), "/data/kelvane/keychain.db");
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(SqliteItemStore::DefaultPath(), "/home/u/.local/share/kelvane/keychain.db");
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(SqliteItemStore::DefaultPath(), std::nullopt);
  for (const auto& [name, value] : saved) {
    (void)(value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name));
  }
}

}  // namespace
}  // namespace kelvane::platform
