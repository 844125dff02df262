#include "dao/engine.h"

#include <sqlite3.h>

#include "connection.h"

namespace dao {

void warmUp() noexcept {
    detail::configureEngine();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK)
        sqlite3_exec(db,
                     "CREATE TABLE t (a INTEGER, b TEXT COLLATE NOCASE);"
                     "INSERT INTO t VALUES (1, 'x');"
                     "SELECT a, b FROM t WHERE b = 'x' ORDER BY a;"
                     "SELECT name, type FROM pragma_table_info('t', 'main');",
                     nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

}  // namespace dao
