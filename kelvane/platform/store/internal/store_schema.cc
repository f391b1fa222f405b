// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/internal/store_schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <compare>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvane::platform::internal {

const char kStoreSchema[] =
    "CREATE TABLE IF NOT EXISTS items("
    " id INTEGER PRIMARY KEY,"
    " class INTEGER NOT NULL,"
    " key BLOB NOT NULL,"  // the account of a password; issuer and serial of a certificate
    " account BLOB NOT NULL,"
    " agrp BLOB NOT NULL,"
    " sync INTEGER NOT NULL,"
    " accessible INTEGER NOT NULL,"
    " label BLOB,"
    " subject BLOB, issuer BLOB, serial BLOB, skid BLOB, pkhash BLOB,"
    " ctype INTEGER NOT NULL, cenc INTEGER NOT NULL,"
    " value BLOB NOT NULL,"  // sealed
    " UNIQUE(class, key, agrp, sync))";

namespace {

// One object of a database's schema, as sqlite_master lists it.
struct SchemaObject {
  std::string type, name, table;
  std::optional<std::string> sql;  // absent for an index SQLite made for a constraint
  auto operator<=>(const SchemaObject&) const = default;
};

// The objects of the database in order, or why they cannot be read.
Result<std::vector<SchemaObject>> Schema(sqlite3* db) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_master", -1, &s,
                              nullptr);
  std::vector<SchemaObject> objects;
  const auto text = [&](int column) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return p != nullptr ? std::optional<std::string>(p) : std::nullopt;
  };
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      objects.push_back(
          {text(0).value_or(""), text(1).value_or(""), text(2).value_or(""), text(3)});
    }
  }
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) {
    const int primary = rc & 0xFF;
    // A schema SQLite cannot parse is reported as SQLITE_ERROR; a damaged file as corrupt.
    if (primary == SQLITE_NOTADB) {
      return Error{ErrorKind::kMalformed, "not a secure store (not an SQLite database)"};
    }
    if (primary == SQLITE_ERROR || primary == SQLITE_CORRUPT || primary == SQLITE_TOOBIG) {
      return Error{ErrorKind::kMalformed, std::string("not a secure store (its schema cannot be "
                                                      "read: ") +
                                              sqlite3_errstr(rc) + ")"};
    }
    return Error{ErrorKind::kIo, std::string("cannot read the store: ") + sqlite3_errmsg(db)};
  }
  std::sort(objects.begin(), objects.end());
  return objects;
}

// The schema a store has once set up, as SQLite records what kStoreSchema makes.
const std::vector<SchemaObject>& StoreSchema() {
  static const std::vector<SchemaObject> schema = [] {
    sqlite3* db = nullptr;
    std::vector<SchemaObject> objects;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, kStoreSchema, nullptr, nullptr, nullptr) == SQLITE_OK) {
      if (auto read = Schema(db)) objects = std::move(read).value();
    }
    sqlite3_close(db);
    return objects;
  }();
  return schema;
}

// A name from a file, fit for a message: printable ASCII, at most 64 characters.
std::string Shown(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size() && i < 64; ++i) {
    out += name[i] >= 0x20 && name[i] < 0x7F ? name[i] : '?';
  }
  return name.size() > 64 ? out + "..." : out;
}

}  // namespace

Status CheckSchema(sqlite3* db, bool& empty) {
  Result<std::vector<SchemaObject>> objects = Schema(db);
  if (!objects) return objects.error();
  empty = objects->empty();
  const std::vector<SchemaObject>& expected = StoreSchema();
  if (expected.empty()) return Error{ErrorKind::kIo, "cannot make the store's schema"};
  if (empty || *objects == expected) return Status(std::monostate());
  for (const SchemaObject& object : *objects) {
    if (std::find(expected.begin(), expected.end(), object) == expected.end()) {
      return Error{ErrorKind::kMalformed, "an SQLite database, but not a secure store (the " +
                                              Shown(object.type) + " '" + Shown(object.name) +
                                              "' is not the store's)"};
    }
  }
  return Error{ErrorKind::kMalformed,
               "an SQLite database, but not a secure store (it lacks some of the store's tables)"};
}

}  // namespace kelvane::platform::internal
