#pragma once
// The state of a dynaset recordset: its rows read at open, with their rowids when the
// query reads one base table, so that edits can go back to that table.
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "connection.h"
#include "dao/database.h"

namespace dao {

struct Recordset::Impl {
    struct Row {
        long long rowid = 0;
        std::vector<Value> values;
        bool deleted = false;
    };
    enum class Mode { None, Add, Edit };

    std::shared_ptr<Connection> conn;
    std::vector<std::string> names;    // field names as the query gives them
    std::vector<std::string> origins;  // the base-table column of each field
    std::string schema, table;         // the base table; empty when read-only
    std::vector<Row> rows;
    long deletedRows = 0;  // of rows, so that the live ones are counted without a walk
    long pos = 0;  // -1 before the first row (BOF), rows.size() after the last (EOF)
    bool noMatch = false;
    Mode mode = Mode::None;
    std::vector<Value> buffer;  // the record being added or edited
    std::vector<bool> dirty;

    static std::unique_ptr<Impl> open(std::shared_ptr<Connection> conn, const std::string& sql,
                                      std::initializer_list<Value> params);

    bool updatable() const { return !table.empty(); }
    long size() const { return static_cast<long>(rows.size()); }
    long liveCount() const;
    long firstLive(long from) const;
    long lastLive(long from) const;
    std::size_t fieldIndex(std::string_view name) const;  // 3265 when unknown
    const Row& current() const;                           // 3021 / 3167
    std::vector<Value> fetch(long long rowid) const;
    void find(std::string_view criteria, long start, int step);
};

}  // namespace dao
