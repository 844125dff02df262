#pragma once
// Internals shared by the sources of the database layer.
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <optional>
#include <string_view>

#include "dao/value.h"
#include "registry.h"

namespace dao {

// One SQLite connection and the registration of its file.
struct Connection {
    sqlite3* db = nullptr;
    std::filesystem::path path;
    std::optional<detail::OpenFile> registration;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }
    void close() noexcept;
    sqlite3* handle() const;  // 3420 once closed
};

}  // namespace dao

namespace dao::detail {

// A prepared statement, finalised with its scope.
class Statement {
public:
    // Prepares exactly one statement; 3142 when text follows it.
    Statement(sqlite3* db, std::string_view sql);
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return s_; }
    void bind(int index, const Value& v);
    bool step();  // true for a row, false when done; raises on failure
    void reset() { sqlite3_reset(s_); }
    Value column(int i) const;

private:
    sqlite3* db_;
    sqlite3_stmt* s_ = nullptr;
    std::string sql_;  // kept for the error text
};

// Raises the engine's error for an SQLite failure. `sql` is the statement that failed.
[[noreturn]] void raiseSqlite(sqlite3* db, int rc, std::string_view sql = {});

// Opens an existing database file: checks, connection, probe, journal mode, registration.
std::shared_ptr<Connection> openConnection(const std::filesystem::path& path);
// Sets the engine up once, before its first connection; every open calls it first.
void configureEngine();

// The same checks as openConnection before a file is used (attached or compacted).
void checkDatabaseFile(const std::filesystem::path& absolute);

// A URI for sqlite3 naming the file with the given mode ("rw", "ro", "rwc").
std::string fileUri(const std::filesystem::path& absolute, std::string_view mode);

}  // namespace dao::detail
