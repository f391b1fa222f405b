// SPDX-License-Identifier: Apache-2.0
// The secure file store against the same statements on a bare SQLite table without sealing, in
// one run: save on the update path (the name exists) and on the add path (a new name), load,
// delete. Both use WAL with full synchronisation and one transaction per operation, and move
// each committed write into the database file (a truncating checkpoint), as the store does so
// that the .db file alone holds every returned write.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/containers/keychain.h"
#include "kelvane/platform/store/sqlite_item_store.h"
#include "kelvane/testing/temp_dir.h"

namespace {

using kelvane::Data;
using kelvane::SKeychain;
using kelvane::String;

const Data kValue(48, 0x5A);  // a typical token

// A token that differs on every call: SQLite skips writing a row whose bytes did not change,
// which would spare the bare table its commit.
const Data& Fresh() {
  static Data value = kValue;
  static std::uint64_t counter = 0;
  ++counter;
  for (int i = 0; i < 8; ++i) value[i] = static_cast<std::uint8_t>(counter >> (8 * i));
  return value;
}

kelvane::testing::TempDir& Dir() {
  static kelvane::testing::TempDir dir;
  return dir;
}

String Name(std::uint64_t i) {
  const std::string s = "bench.name." + std::to_string(i);
  return String(s.begin(), s.end());
}

// ---- ours ------------------------------------------------------------------------------------

void UseOurStore() {
  static const auto store = kelvane::platform::SqliteItemStore::Open(Dir().File("ours.db"));
  kelvane::platform::SetDefaultItemStore(store);
}

void BM_SaveUpdateOurs(benchmark::State& state) {
  UseOurStore();
  if (!SKeychain::KeychainSave(u"bench.update", &kValue, false, false, std::nullopt)) {
    state.SkipWithError("save");
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        SKeychain::KeychainSave(u"bench.update", &Fresh(), false, false, std::nullopt));
  }
}

std::uint64_t next_ours = 0;

void BM_SaveAddOurs(benchmark::State& state) {
  UseOurStore();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        SKeychain::KeychainSave(Name(next_ours++), &Fresh(), false, false, std::nullopt));
  }
}

void BM_LoadOurs(benchmark::State& state) {
  UseOurStore();
  if (!SKeychain::KeychainSave(u"bench.load", &kValue, false, false, std::nullopt)) {
    state.SkipWithError("save");
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(SKeychain::KeychainLoad(u"bench.load", std::nullopt));
}

void BM_DeleteOurs(benchmark::State& state) {
  UseOurStore();
  std::uint64_t i = 0;
  for (auto _ : state) {
    if (!SKeychain::KeychainDelete(Name(i++), std::nullopt))
      state.SkipWithError("nothing to delete");
  }
}

// ---- the bare table ----------------------------------------------------------------------------

struct Bare {
  Bare() {
    sqlite3_open(Dir().File("bare.db").c_str(), &db);
    sqlite3_busy_timeout(db, 10'000);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(db,
                 "CREATE TABLE IF NOT EXISTS items(id INTEGER PRIMARY KEY, class INTEGER, key "
                 "BLOB, agrp BLOB, sync INTEGER, accessible INTEGER, value BLOB, "
                 "UNIQUE(class, key, agrp, sync))",
                 nullptr, nullptr, nullptr);
    Prepare(
        &update,
        "UPDATE items SET accessible = ?3, value = ?2 WHERE class = 0 AND key = ?1 AND sync = 0");
    Prepare(&remove, "DELETE FROM items WHERE class = 0 AND key = ?1");
    Prepare(&insert,
            "INSERT INTO items(class, key, agrp, sync, accessible, value) VALUES(0, ?1, x'', 0, "
            "?3, ?2)");
    Prepare(&select, "SELECT value FROM items WHERE class = 0 AND key = ?1 ORDER BY id");
  }
  void Prepare(sqlite3_stmt** s, const char* sql) {
    sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, s, nullptr);
  }
  static int Run(sqlite3_stmt* s, const String& key, const Data* value) {
    sqlite3_bind_blob(s, 1, key.data(), static_cast<int>(key.size() * 2), SQLITE_TRANSIENT);
    if (value != nullptr) {
      sqlite3_bind_blob(s, 2, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
      sqlite3_bind_int(s, 3, 1);
    }
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc;
  }
  void Begin() { sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr); }
  void Commit() {
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  }
  void Rollback() { sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr); }

  // The save as the store does it: update in one transaction; when nothing matched, delete and
  // insert in another.
  bool Save(const String& key, const Data& value) {
    Begin();
    Run(update, key, &value);
    if (sqlite3_changes(db) > 0) {
      Commit();
      return true;
    }
    Rollback();
    Begin();
    Run(remove, key, nullptr);
    const bool ok = Run(insert, key, &value) == SQLITE_DONE;
    Commit();
    return ok;
  }
  std::optional<Data> Load(const String& key) {
    sqlite3_bind_blob(select, 1, key.data(), static_cast<int>(key.size() * 2), SQLITE_TRANSIENT);
    std::optional<Data> out;
    if (sqlite3_step(select) == SQLITE_ROW) {
      const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(select, 0));
      out.emplace(p, p + sqlite3_column_bytes(select, 0));
    }
    sqlite3_reset(select);
    return out;
  }
  bool Delete(const String& key) {
    Begin();
    Run(remove, key, nullptr);
    const bool found = sqlite3_changes(db) > 0;
    Commit();
    return found;
  }

  sqlite3* db = nullptr;
  sqlite3_stmt *update = nullptr, *remove = nullptr, *insert = nullptr, *select = nullptr;
};

Bare& TheBare() {
  static Bare bare;
  return bare;
}

void BM_SaveUpdateBare(benchmark::State& state) {
  Bare& bare = TheBare();
  bare.Save(u"bench.update", kValue);
  for (auto _ : state) benchmark::DoNotOptimize(bare.Save(u"bench.update", Fresh()));
}

std::uint64_t next_bare = 0;

void BM_SaveAddBare(benchmark::State& state) {
  Bare& bare = TheBare();
  for (auto _ : state) benchmark::DoNotOptimize(bare.Save(Name(next_bare++), Fresh()));
}

void BM_LoadBare(benchmark::State& state) {
  Bare& bare = TheBare();
  bare.Save(u"bench.load", kValue);
  for (auto _ : state) benchmark::DoNotOptimize(bare.Load(u"bench.load"));
}

void BM_DeleteBare(benchmark::State& state) {
  Bare& bare = TheBare();
  std::uint64_t i = 0;
  for (auto _ : state) {
    if (!bare.Delete(Name(i++))) state.SkipWithError("nothing to delete");
  }
}

// The delete runs take the names the add runs left, so they come after them; a fixed
// iteration count keeps the two sides to the same table size.
constexpr int kWrites = 400;
BENCHMARK(BM_SaveUpdateOurs)->Iterations(kWrites);
BENCHMARK(BM_SaveUpdateBare)->Iterations(kWrites);
BENCHMARK(BM_SaveAddOurs)->Iterations(kWrites);
BENCHMARK(BM_SaveAddBare)->Iterations(kWrites);
BENCHMARK(BM_LoadOurs);
BENCHMARK(BM_LoadBare);
BENCHMARK(BM_DeleteOurs)->Iterations(kWrites);
BENCHMARK(BM_DeleteBare)->Iterations(kWrites);

const bool ratios = [] {
  using kelvane::bench::Ratio;
  const std::string n = "/iterations:" + std::to_string(kWrites);
  Ratio("Save, update path vs bare SQLite", "BM_SaveUpdateOurs" + n, "BM_SaveUpdateBare" + n,
        "<= 1.5");
  Ratio("Save, add path vs bare SQLite", "BM_SaveAddOurs" + n, "BM_SaveAddBare" + n, "<= 1.5");
  Ratio("Load vs bare SQLite", "BM_LoadOurs", "BM_LoadBare", "<= 2");
  Ratio("Delete vs bare SQLite", "BM_DeleteOurs" + n, "BM_DeleteBare" + n, "<= 1.5");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
