// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/store/internal/store_schema.h
//
// The secret store's schema, and the check that a database holds it and nothing else. Threads:
// any, each on its own connection. Not a public header.
#pragma once

#include <sqlite3.h>

#include "kelvane/platform/core/result.h"

namespace kelvane::platform::internal {

// The statement that makes the store's table (and, for its constraint, SQLite's index).
extern const char kStoreSchema[];

// ok when the database of `db` holds exactly the objects kStoreSchema makes, byte for byte, or
// none yet (then `empty` is set); kMalformed, naming the first object that is not the store's,
// for anything more or else (a trigger, view, index, table or column of someone else's would
// run or change under the store's statements), and for a file that is not a database; kIo when
// the schema cannot be read.
[[nodiscard]] Status CheckSchema(sqlite3* db, bool& empty);

}  // namespace kelvane::platform::internal
