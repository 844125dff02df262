#include "connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "runtime/error.h"
#include "sqltext.h"

namespace dao::detail {

namespace {

constexpr int kBusyTimeoutMs = 2000;

std::string afterPrefix(const std::string& msg, std::string_view prefix) {
    std::string name = msg.substr(prefix.size());
    if (auto dot = name.find('.'); dot != std::string::npos && name.compare(0, dot, "main") == 0)
        name = name.substr(dot + 1);
    return name;
}

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

[[noreturn]] void raiseForMessage(const std::string& msg, std::string_view sql) {
    if (startsWith(msg, "no such table: ")) {
        auto words = keywords(sql);
        bool drop = !words.empty() && words[0] == "DROP";
        runtime::raiseWith(drop ? 3376 : 3078, afterPrefix(msg, "no such table: "));
    }
    if (startsWith(msg, "no such column: ")) runtime::raiseWith(3061, "1");
    if (startsWith(msg, "table ") && msg.find(" already exists") != std::string::npos)
        runtime::raiseWith(3010, msg.substr(6, msg.find(" already exists") - 6));
    if (msg.find("syntax error") != std::string::npos || msg.find("incomplete input") != std::string::npos ||
        msg.find("unrecognized token") != std::string::npos)
        runtime::raiseWith(3075, sql);
    runtime::raiseWith(3000, msg);
}

}  // namespace

}  // namespace dao::detail

namespace dao {

void Connection::close() noexcept {
    if (db) {
        sqlite3_close_v2(db);
        db = nullptr;
    }
    registration.reset();
}

sqlite3* Connection::handle() const {
    if (!db) runtime::raise(3420);
    return db;
}

}  // namespace dao

namespace dao::detail {

void raiseSqlite(sqlite3* db, int rc, std::string_view sql) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
    std::string file = name ? name : "";
    switch (rc & 0xFF) {
    case SQLITE_NOTADB: runtime::raiseWith(3343, file);
    case SQLITE_CORRUPT: runtime::raiseWith(3049, file);
    case SQLITE_BUSY:
    case SQLITE_LOCKED: runtime::raise(3218);
    case SQLITE_READONLY: runtime::raise(3027);
    case SQLITE_NOMEM: runtime::raise(7);
    case SQLITE_IOERR:
    case SQLITE_FULL: runtime::raise(3043);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH: runtime::raiseWith(3051, file);
    case SQLITE_MISMATCH: runtime::raise(3464);
    case SQLITE_CONSTRAINT:
        if (rc == SQLITE_CONSTRAINT_NOTNULL) {
            auto colon = msg.rfind(": ");
            runtime::raiseWith(3314, colon == std::string::npos ? msg : msg.substr(colon + 2));
        }
        if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) runtime::raise(3022);
        runtime::raiseWith(3000, msg);
    default: break;
    }
    raiseForMessage(msg, sql);
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db), sql_(sql) {
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &s_, &tail);
    if (rc != SQLITE_OK) raiseSqlite(db, sqlite3_extended_errcode(db), sql);
    if (!s_) runtime::raiseWith(3075, sql);  // nothing but blanks or comments
    for (const char* p = tail; p && p < sql.data() + sql.size(); ++p) {
        if (*p != ';' && !std::isspace(static_cast<unsigned char>(*p))) {
            sqlite3_finalize(s_);
            runtime::raise(3142);
        }
    }
}

void Statement::bind(int index, const Value& v) {
    int rc = SQLITE_OK;
    switch (v.type()) {
    case Value::Type::Null: rc = sqlite3_bind_null(s_, index); break;
    case Value::Type::Integer: rc = sqlite3_bind_int64(s_, index, v.toInt64()); break;
    case Value::Type::Real: rc = sqlite3_bind_double(s_, index, v.toDouble()); break;
    case Value::Type::Text: {
        std::string t = v.toText();
        rc = sqlite3_bind_text(s_, index, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        break;
    }
    }
    if (rc == SQLITE_RANGE) runtime::raise(3001);
    if (rc != SQLITE_OK) raiseSqlite(db_, rc, sql_);
}

bool Statement::step() {
    int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    int code = sqlite3_extended_errcode(db_);
    sqlite3_reset(s_);
    raiseSqlite(db_, code, sql_);
}

Value Statement::column(int i) const {
    switch (sqlite3_column_type(s_, i)) {
    case SQLITE_INTEGER: return Value(static_cast<long long>(sqlite3_column_int64(s_, i)));
    case SQLITE_FLOAT: return Value(sqlite3_column_double(s_, i));
    case SQLITE_NULL: return Value();
    default: {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(s_, i));
        return Value(std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s_, i))));
    }
    }
}

std::string fileUri(const std::filesystem::path& absolute, std::string_view mode) {
    static const char* hex = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : absolute.string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri + "?mode=" + std::string(mode);
}

void checkDatabaseFile(const std::filesystem::path& absolute) {
    const std::string name = absolute.string();
    struct stat st{};
    if (::stat(name.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) runtime::raiseWith(3051, name);
        std::error_code ec;
        bool folder = std::filesystem::is_directory(absolute.parent_path(), ec);
        runtime::raiseWith(folder ? 3024 : 3044, folder ? name : absolute.parent_path().string());
    }
    if (!S_ISREG(st.st_mode)) runtime::raiseWith(3051, name);
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) runtime::raiseWith(3051, name);
    char header[16] = {};
    ssize_t n = ::read(fd, header, sizeof header);
    ::close(fd);
    if (n != static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0)
        runtime::raiseWith(3343, name);
}

void configureEngine() {
    // The program's databases are small and its connections short: a connection gets no
    // slab of its own for small allocations, and its page cache grows from nothing. Either
    // slab is touched whole at every open, and the program's start pays for that before
    // its window; the few statements a connection runs gain little from them.
    static const bool once = [] {
        sqlite3_config(SQLITE_CONFIG_LOOKASIDE, 0, 0);
        sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
        return true;
    }();
    (void)once;
}

std::shared_ptr<Connection> openConnection(const std::filesystem::path& path) {
    configureEngine();
    auto conn = std::make_shared<Connection>();
    conn->path = std::filesystem::absolute(path).lexically_normal();
    checkDatabaseFile(conn->path);
    int rc = sqlite3_open_v2(fileUri(conn->path, "rw").c_str(), &conn->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI,
                             nullptr);
    if (rc != SQLITE_OK) {
        conn->close();
        if ((rc & 0xFF) == SQLITE_CANTOPEN) runtime::raiseWith(3051, conn->path.string());
        raiseSqlite(nullptr, rc);
    }
    sqlite3_extended_result_codes(conn->db, 1);
    sqlite3_busy_timeout(conn->db, kBusyTimeoutMs);
    if (sqlite3_db_readonly(conn->db, "main") == 1) runtime::raiseWith(3051, conn->path.string());
    {
        Statement probe(conn->db, "SELECT count(*) FROM sqlite_master");
        probe.step();
    }
    {
        // A closed database stays one file: no write-ahead log beside it.
        Statement journal(conn->db, "PRAGMA journal_mode=DELETE");
        journal.step();
    }
    auto id = fileId(conn->path);
    if (!id) runtime::raiseWith(3024, conn->path.string());
    conn->registration.emplace(*id);
    return conn;
}

}  // namespace dao::detail
