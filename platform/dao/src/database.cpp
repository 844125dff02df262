#include "dao/database.h"

#include <sys/stat.h>

#include <cctype>

#include "connection.h"
#include "recordset_impl.h"
#include "runtime/error.h"
#include "sqltext.h"

namespace dao {

using detail::quoteName;
using detail::Statement;

namespace {

bool validAlias(std::string_view alias) {
    if (alias.empty() || !(std::isalpha(static_cast<unsigned char>(alias[0])) || alias[0] == '_')) return false;
    for (char c : alias)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return !detail::sameName(alias, "main") && !detail::sameName(alias, "temp");
}

struct Column {
    std::string name, type, collation;
};

// The columns of schema.table in order, with their declared types and collations.
std::vector<Column> tableColumns(sqlite3* db, std::string_view schema, std::string_view table) {
    Statement info(db, "SELECT name, type FROM pragma_table_info(?1, ?2) ORDER BY cid");
    info.bind(1, Value(table));
    info.bind(2, Value(schema));
    std::vector<Column> cols;
    while (info.step()) cols.push_back({info.column(0).toText(), info.column(1).toText(), {}});
    const std::string schemaName(schema), tableName(table);
    for (auto& col : cols) {
        const char* collation = nullptr;
        if (sqlite3_table_column_metadata(db, schemaName.c_str(), tableName.c_str(), col.name.c_str(), nullptr,
                                          &collation, nullptr, nullptr, nullptr) == SQLITE_OK && collation)
            col.collation = collation;
    }
    return cols;
}

// The columns named in a list such as "fldType, fldOrder, [fldNo]" ("*" for all).
std::vector<Column> pickColumns(const std::vector<Column>& all, std::string_view list) {
    std::string_view rest = list;
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front()))) rest.remove_prefix(1);
    if (rest == "*") return all;
    std::vector<Column> picked;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        std::string_view item = list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) item.remove_prefix(1);
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.remove_suffix(1);
        if (item.size() >= 2 && ((item.front() == '[' && item.back() == ']') || (item.front() == '"' && item.back() == '"')))
            item = item.substr(1, item.size() - 2);
        bool found = false;
        for (const auto& col : all) {
            if (detail::sameName(col.name, item)) {
                picked.push_back(col);
                found = true;
                break;
            }
        }
        if (!found) runtime::raiseWith(3061, "1");
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return picked;
}

}  // namespace

Database::Database() noexcept = default;
Database::Database(std::shared_ptr<Connection> c) : conn_(std::move(c)) {}
Database::~Database() { close(); }
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        close();
        conn_ = std::move(other.conn_);
    }
    return *this;
}

Database Database::open(const std::filesystem::path& path) {
    return Database(detail::openConnection(path));
}

Database Database::create(const std::filesystem::path& path) {
    auto abs = std::filesystem::absolute(path).lexically_normal();
    struct stat st{};
    if (::lstat(abs.c_str(), &st) == 0) runtime::raise(3204);
    std::error_code ec;
    if (!std::filesystem::is_directory(abs.parent_path(), ec)) runtime::raiseWith(3044, abs.parent_path().string());
    {
        sqlite3* db = nullptr;
        detail::configureEngine();
        int rc = sqlite3_open_v2(detail::fileUri(abs, "rwc").c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI, nullptr);
        struct Closer {
            sqlite3* db;
            ~Closer() { sqlite3_close_v2(db); }
        } closer{db};
        if (rc != SQLITE_OK) detail::raiseSqlite(db, rc);
        // Writes the header, so the new file is a database even before it has a table. The
        // file is empty, so nothing is lost if this write never reaches the disk: a torn
        // header is refused at open.
        for (const char* sql : {"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=OFF", "PRAGMA user_version=0"}) {
            Statement s(db, sql);
            s.step();
        }
    }
    return open(abs);
}

bool Database::isOpen() const noexcept { return conn_ && conn_->db; }

const std::filesystem::path& Database::path() const noexcept {
    static const std::filesystem::path none;
    return conn_ ? conn_->path : none;
}

void Database::close() noexcept {
    if (conn_) conn_->close();
    conn_.reset();
}

long Database::execute(std::string_view sql, std::initializer_list<Value> params) {
    if (!conn_) runtime::raise(3420);
    sqlite3* db = conn_->handle();
    std::string text = detail::yesNoLiterals(sql);
    Statement s(db, text);
    if (sqlite3_column_count(s.get()) > 0 && sqlite3_stmt_readonly(s.get())) runtime::raise(3065);
    int i = 1;
    for (const auto& p : params) s.bind(i++, p);
    auto before = sqlite3_total_changes64(db);
    while (s.step()) {
    }
    return sqlite3_total_changes64(db) != before ? static_cast<long>(sqlite3_changes64(db)) : 0;
}

Recordset Database::openRecordset(std::string_view sql, std::initializer_list<Value> params) {
    if (!conn_) runtime::raise(3420);
    return Recordset(Recordset::Impl::open(conn_, detail::yesNoLiterals(sql), params));
}

bool Database::tableExists(std::string_view table) {
    if (!conn_) runtime::raise(3420);
    Statement s(conn_->handle(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    s.bind(1, Value(table));
    return s.step();
}

namespace {

long copyTable(sqlite3* db, std::string_view schema, std::string_view target, std::string_view source,
               std::string_view tail, std::string_view columns) {
    auto all = tableColumns(db, schema, source);
    if (all.empty()) runtime::raiseWith(3078, source);
    auto cols = pickColumns(all, columns);
    std::string defs, names;
    // Types and collations travel with the copy; keys, defaults and indexes do not.
    for (const auto& col : cols) {
        if (!defs.empty()) defs += ", ", names += ", ";
        defs += quoteName(col.name);
        if (!col.type.empty()) defs += " " + col.type;
        if (!col.collation.empty() && !detail::sameName(col.collation, "BINARY")) defs += " COLLATE " + col.collation;
        names += quoteName(col.name);
    }
    Statement begin(db, "SAVEPOINT kv_select_into");
    begin.step();
    try {
        Statement create(db, "CREATE TABLE main." + quoteName(target) + " (" + defs + ")");
        create.step();
        std::string insert = "INSERT INTO main." + quoteName(target) + " (" + names + ") SELECT " + names +
                             " FROM " + quoteName(schema) + "." + quoteName(source) + " " + detail::yesNoLiterals(tail);
        Statement copy(db, insert);
        copy.step();
        long rows = static_cast<long>(sqlite3_changes64(db));
        Statement release(db, "RELEASE kv_select_into");
        release.step();
        return rows;
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK TO kv_select_into; RELEASE kv_select_into", nullptr, nullptr, nullptr);
        throw;
    }
}

}  // namespace

long Database::selectInto(std::string_view target, std::string_view source, std::string_view tail,
                          std::string_view columns) {
    if (!conn_) runtime::raise(3420);
    return copyTable(conn_->handle(), "main", target, source, tail, columns);
}

struct Database::Attachment::State {
    std::shared_ptr<Connection> conn;
    std::string alias;
    detail::OpenFile registration;
};

long Database::selectIntoFrom(const std::filesystem::path& file, std::string_view target, std::string_view source,
                              std::string_view tail, std::string_view columns) {
    Attachment guard = attach(file, "kv_source");
    return selectIntoFrom(guard, target, source, tail, columns);
}

long Database::selectIntoFrom(const Attachment& file, std::string_view target, std::string_view source,
                              std::string_view tail, std::string_view columns) {
    if (!conn_) runtime::raise(3420);
    if (!file.s_ || file.s_->conn != conn_) runtime::raise(3001);
    return copyTable(conn_->handle(), file.s_->alias, target, source, tail, columns);
}

Database::Attachment::Attachment(std::unique_ptr<State> s) : s_(std::move(s)) {}
Database::Attachment::Attachment(Attachment&&) noexcept = default;
Database::Attachment::~Attachment() {
    if (s_ && s_->conn->db)
        sqlite3_exec(s_->conn->db, ("DETACH DATABASE " + quoteName(s_->alias)).c_str(), nullptr, nullptr, nullptr);
}

Database::Attachment Database::attach(const std::filesystem::path& file, std::string_view alias) {
    if (!conn_) runtime::raise(3420);
    if (!validAlias(alias)) runtime::raise(3001);
    sqlite3* db = conn_->handle();
    auto abs = std::filesystem::absolute(file).lexically_normal();
    detail::checkDatabaseFile(abs);
    auto id = detail::fileId(abs);
    if (!id) runtime::raiseWith(3024, abs.string());
    // The file name is bound, never spliced into the statement.
    Statement s(db, "ATTACH DATABASE ?1 AS " + quoteName(alias));
    s.bind(1, Value(detail::fileUri(abs, "ro")));
    s.step();
    auto state = std::make_unique<Attachment::State>(Attachment::State{conn_, std::string(alias), detail::OpenFile(*id)});
    Attachment guard(std::move(state));
    Statement probe(db, "SELECT count(*) FROM " + quoteName(alias) + ".sqlite_master");
    probe.step();
    return guard;
}

Transaction::Transaction(Database& db) : conn_(db.conn_) {
    if (!conn_) runtime::raise(3420);
    Statement s(conn_->handle(), "BEGIN");
    s.step();
    open_ = true;
}

Transaction::~Transaction() {
    if (open_) rollback();
}

void Transaction::commit() {
    if (!open_) runtime::raise(3034);
    Statement s(conn_->handle(), "COMMIT");
    s.step();
    open_ = false;
}

void Transaction::rollback() {
    if (!open_) return;
    open_ = false;
    if (conn_->db) sqlite3_exec(conn_->db, "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace dao
