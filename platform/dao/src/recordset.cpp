#include <cctype>
#include <optional>

#include "recordset_impl.h"
#include "runtime/error.h"
#include "sqltext.h"

namespace dao {

using detail::quoteName;
using detail::Statement;

namespace {

// The SQL of the same query with the base table's rowid as its first column, or "" when
// the query cannot be updated (grouped, joined, distinct, compound).
std::string withRowid(const std::string& sql) {
    auto words = detail::keywords(sql);
    if (words.empty() || words[0] != "SELECT") return {};
    for (const char* w : {"GROUP", "UNION", "INTERSECT", "EXCEPT", "DISTINCT", "JOIN", "HAVING"})
        for (const auto& word : words)
            if (word == w) return {};
    std::size_t start = 0;
    while (start < sql.size() && std::isspace(static_cast<unsigned char>(sql[start]))) ++start;
    if (!detail::sameName(std::string_view(sql).substr(start, 6), "SELECT")) return {};
    return "SELECT rowid AS kv_rowid_, " + sql.substr(start + 6);
}

// Schema and table when every column of the statement from `first` on comes from the
// same base table.
bool singleTable(sqlite3_stmt* s, int first, std::string& schema, std::string& table, std::vector<std::string>& origins) {
    int n = sqlite3_column_count(s);
    for (int i = first; i < n; ++i) {
        const char* db = sqlite3_column_database_name(s, i);
        const char* t = sqlite3_column_table_name(s, i);
        const char* o = sqlite3_column_origin_name(s, i);
        if (!db || !t || !o) return false;
        if (i == first) schema = db, table = t;
        else if (schema != db || table != t) return false;
        origins.emplace_back(o);
    }
    return n > first;
}

// The query with its base table's rowid first, when it can be updated; null otherwise.
std::unique_ptr<Statement> keyedStatement(sqlite3* db, const std::string& sql, std::string& schema, std::string& table,
                                          std::vector<std::string>& origins) {
    const std::string rewritten = withRowid(sql);
    if (rewritten.empty()) return nullptr;
    std::unique_ptr<Statement> keyed;
    try {
        keyed = std::make_unique<Statement>(db, rewritten);
    } catch (const runtime::Error&) {
        return nullptr;  // the query as written reports its own error
    }
    if (singleTable(keyed->get(), 1, schema, table, origins)) return keyed;
    schema.clear(), table.clear(), origins.clear();
    return nullptr;
}

}  // namespace

std::unique_ptr<Recordset::Impl> Recordset::Impl::open(std::shared_ptr<Connection> conn, const std::string& sql,
                                                       std::initializer_list<Value> params) {
    auto impl = std::make_unique<Impl>();
    sqlite3* db = conn->handle();
    impl->conn = std::move(conn);
    // An updatable query is prepared once, with the rowid; any other as written.
    std::unique_ptr<Statement> keyed = keyedStatement(db, sql, impl->schema, impl->table, impl->origins);
    std::optional<Statement> plain;
    if (!keyed) plain.emplace(db, sql);
    sqlite3_stmt* columns = keyed ? keyed->get() : plain->get();
    const int first = keyed ? 1 : 0;
    const int n = sqlite3_column_count(columns) - first;
    if (n <= 0) runtime::raise(3219);
    for (int i = 0; i < n; ++i) impl->names.emplace_back(sqlite3_column_name(columns, first + i));

    Statement& run = keyed ? *keyed : *plain;
    int index = 1;
    for (const auto& p : params) run.bind(index++, p);
    while (run.step()) {
        Row row;
        if (keyed) row.rowid = sqlite3_column_int64(run.get(), 0);
        row.values.reserve(n);
        for (int i = 0; i < n; ++i) row.values.push_back(run.column(first + i));
        impl->rows.push_back(std::move(row));
    }
    impl->pos = 0;
    return impl;
}

long Recordset::Impl::liveCount() const { return size() - deletedRows; }

long Recordset::Impl::firstLive(long from) const {
    for (long i = std::max(from, 0L); i < size(); ++i)
        if (!rows[i].deleted) return i;
    return size();
}

long Recordset::Impl::lastLive(long from) const {
    for (long i = std::min(from, size() - 1); i >= 0; --i)
        if (!rows[i].deleted) return i;
    return -1;
}

std::size_t Recordset::Impl::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (detail::sameName(names[i], name)) return i;
    runtime::raise(3265);
}

const Recordset::Impl::Row& Recordset::Impl::current() const {
    if (liveCount() == 0 || pos < 0 || pos >= size()) runtime::raise(3021);
    if (rows[pos].deleted) runtime::raise(3167);
    return rows[pos];
}

std::vector<Value> Recordset::Impl::fetch(long long rowid) const {
    std::string cols;
    for (const auto& o : origins) cols += (cols.empty() ? "" : ", ") + quoteName(o);
    Statement s(conn->handle(),
                "SELECT " + cols + " FROM " + quoteName(schema) + "." + quoteName(table) + " WHERE rowid = ?1");
    s.bind(1, Value(rowid));
    std::vector<Value> values;
    if (s.step())
        for (std::size_t i = 0; i < origins.size(); ++i) values.push_back(s.column(static_cast<int>(i)));
    return values;
}

void Recordset::Impl::find(std::string_view criteria, long start, int step) {
    mode = Mode::None;
    // Texts compare without regard to case, as the engine's criteria do.
    std::string select;
    for (std::size_t i = 0; i < names.size(); ++i)
        select += (i ? ", ?" : "?") + std::to_string(i + 1) + " COLLATE NOCASE AS " + quoteName(names[i]);
    std::string sql = "SELECT 1 FROM (SELECT " + select + ") WHERE (" + detail::criteriaToSqlite(criteria) + ")";
    sqlite3* db = conn->handle();
    std::unique_ptr<Statement> s;
    try {
        s = std::make_unique<Statement>(db, sql);
    } catch (const runtime::Error& e) {
        std::string msg = sqlite3_errmsg(db);
        if (msg.rfind("no such column: ", 0) == 0) runtime::raiseWith(3070, msg.substr(16));
        if (e.number() == 3075 || e.number() == 3142) runtime::raise(3077);
        throw;
    }
    for (long i = start; i >= 0 && i < size(); i += step) {
        if (rows[i].deleted) continue;
        for (std::size_t c = 0; c < names.size(); ++c) s->bind(static_cast<int>(c + 1), rows[i].values[c]);
        bool match = s->step();
        s->reset();
        if (match) {
            pos = i;
            noMatch = false;
            return;
        }
    }
    noMatch = true;
}

Recordset::Recordset() noexcept = default;
Recordset::Recordset(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

Recordset::Impl& Recordset::live() const {
    if (!impl_ || !impl_->conn->db) runtime::raise(3420);
    return *impl_;
}

bool Recordset::isOpen() const noexcept { return impl_ && impl_->conn->db; }
void Recordset::close() noexcept { impl_.reset(); }

bool Recordset::eof() const {
    auto& r = live();
    return r.liveCount() == 0 || r.pos >= r.size();
}

bool Recordset::bof() const {
    auto& r = live();
    return r.liveCount() == 0 || r.pos < 0;
}

bool Recordset::noMatch() const { return live().noMatch; }
long Recordset::recordCount() const { return live().liveCount(); }

void Recordset::moveFirst() {
    auto& r = live();
    r.mode = Impl::Mode::None;
    if (r.liveCount() == 0) runtime::raise(3021);
    r.pos = r.firstLive(0);
}

void Recordset::moveLast() {
    auto& r = live();
    r.mode = Impl::Mode::None;
    if (r.liveCount() == 0) runtime::raise(3021);
    r.pos = r.lastLive(r.size() - 1);
}

void Recordset::moveNext() {
    auto& r = live();
    r.mode = Impl::Mode::None;
    if (eof()) runtime::raise(3021);
    r.pos = r.firstLive(r.pos + 1);
}

void Recordset::movePrevious() {
    auto& r = live();
    r.mode = Impl::Mode::None;
    if (bof()) runtime::raise(3021);
    r.pos = r.lastLive(r.pos - 1);
}

void Recordset::findFirst(std::string_view criteria) { live().find(criteria, 0, 1); }
void Recordset::findNext(std::string_view criteria) {
    auto& r = live();
    r.find(criteria, std::max(r.pos + 1, 0L), 1);
}
void Recordset::findPrevious(std::string_view criteria) {
    auto& r = live();
    r.find(criteria, std::min(r.pos - 1, r.size() - 1), -1);
}

const Value& Recordset::operator[](std::string_view field) const {
    auto& r = live();
    std::size_t i = r.fieldIndex(field);
    if (r.mode != Impl::Mode::None) return r.buffer[i];
    return r.current().values[i];
}

const std::vector<std::string>& Recordset::fieldNames() const { return live().names; }

void Recordset::addNew() {
    auto& r = live();
    if (!r.updatable()) runtime::raise(3027);
    r.mode = Impl::Mode::Add;
    r.buffer.assign(r.names.size(), Value());
    r.dirty.assign(r.names.size(), false);
}

void Recordset::edit() {
    auto& r = live();
    if (!r.updatable()) runtime::raise(3027);
    r.buffer = r.current().values;
    r.dirty.assign(r.names.size(), false);
    r.mode = Impl::Mode::Edit;
}

void Recordset::set(std::string_view field, Value value) {
    auto& r = live();
    std::size_t i = r.fieldIndex(field);
    if (r.mode == Impl::Mode::None) runtime::raise(3020);
    r.buffer[i] = std::move(value);
    r.dirty[i] = true;
}

void Recordset::update() {
    auto& r = live();
    if (r.mode == Impl::Mode::None) runtime::raise(3020);
    sqlite3* db = r.conn->handle();
    std::string target = quoteName(r.schema) + "." + quoteName(r.table);
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < r.dirty.size(); ++i)
        if (r.dirty[i]) changed.push_back(i);

    if (r.mode == Impl::Mode::Add) {
        std::string cols, marks;
        for (std::size_t k = 0; k < changed.size(); ++k) {
            cols += (k ? ", " : "") + quoteName(r.origins[changed[k]]);
            marks += (k ? ", ?" : "?") + std::to_string(k + 1);
        }
        Statement s(db, changed.empty() ? "INSERT INTO " + target + " DEFAULT VALUES"
                                        : "INSERT INTO " + target + " (" + cols + ") VALUES (" + marks + ")");
        for (std::size_t k = 0; k < changed.size(); ++k) s.bind(static_cast<int>(k + 1), r.buffer[changed[k]]);
        s.step();
        Impl::Row row;
        row.rowid = sqlite3_last_insert_rowid(db);
        row.values = r.fetch(row.rowid);
        if (row.values.empty()) row.values = r.buffer;
        bool atEnd = r.pos >= r.size();
        r.rows.push_back(std::move(row));
        if (atEnd) r.pos = r.size();
    } else if (!changed.empty()) {
        Impl::Row& row = r.rows[r.pos];
        std::string sets;
        for (std::size_t k = 0; k < changed.size(); ++k)
            sets += (k ? ", " : "") + quoteName(r.origins[changed[k]]) + " = ?" + std::to_string(k + 1);
        Statement s(db, "UPDATE " + target + " SET " + sets + " WHERE rowid = ?" + std::to_string(changed.size() + 1));
        for (std::size_t k = 0; k < changed.size(); ++k) s.bind(static_cast<int>(k + 1), r.buffer[changed[k]]);
        s.bind(static_cast<int>(changed.size() + 1), Value(row.rowid));
        s.step();
        if (sqlite3_changes64(db) == 0) runtime::raise(3167);
        auto values = r.fetch(row.rowid);
        row.values = values.empty() ? r.buffer : std::move(values);
    }
    r.mode = Impl::Mode::None;
}

void Recordset::cancelUpdate() noexcept {
    if (impl_) impl_->mode = Impl::Mode::None;
}

void Recordset::deleteRecord() {
    auto& r = live();
    if (!r.updatable()) runtime::raise(3027);
    r.mode = Impl::Mode::None;
    auto& row = const_cast<Impl::Row&>(r.current());
    Statement s(r.conn->handle(),
                "DELETE FROM " + quoteName(r.schema) + "." + quoteName(r.table) + " WHERE rowid = ?1");
    s.bind(1, Value(row.rowid));
    s.step();
    row.deleted = true;
    ++r.deletedRows;
}

}  // namespace dao
