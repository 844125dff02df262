#pragma once
// The database layer: a connection to one database file, its dynaset recordsets and
// transactions, over SQLite. Every failure raises runtime::Error with the database
// engine's number (3024 missing file, 3343 not a database, 3021 no current record,
// 3376 missing table on DROP, 3078 missing table elsewhere, ...).
//
// SQL is SQLite's dialect, one statement per call; the words True and False outside
// strings read as the yes/no values -1 and 0. Recordset criteria (findFirst) take the
// engine's criteria text: And/Or/Not, True/False, "..." or '...' strings, [names],
// Like with * and ?, & to join texts, Mod, #m/d/yyyy# dates (as 'yyyy-mm-dd' texts);
// texts compare without regard to case, as the engine's do.
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dao/value.h"

namespace dao {

class Recordset;
struct Connection;

class Database {
public:
    Database() noexcept;  // no connection
    ~Database();          // closes
    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;

    // OpenDatabase: shared, read/write. Never creates the file: a missing file raises
    // 3024 (3044 when its folder is missing), a file that is not a database 3343, one
    // that cannot be opened for reading and writing 3051.
    static Database open(const std::filesystem::path& path);
    // CreateDatabase: a new, empty database file; 3204 when the file exists.
    static Database create(const std::filesystem::path& path);

    bool isOpen() const noexcept;
    const std::filesystem::path& path() const noexcept;  // absolute
    // Closes this connection and its recordsets; closing twice or never opened is no fault.
    void close() noexcept;

    // Execute: runs one statement that returns no rows; the result is the number of
    // records it inserted, updated or deleted. `params` bind to ?1, ?2, ...
    long execute(std::string_view sql, std::initializer_list<Value> params = {});

    // OpenRecordset, dynaset type: the rows are read at once, so no lock stays held.
    // A query over a single table can be updated through the recordset.
    Recordset openRecordset(std::string_view sql, std::initializer_list<Value> params = {});

    bool tableExists(std::string_view table);

    // SELECT <columns> INTO <target> FROM <source> [<tail>]: a new table with the
    // source's columns and their types. `tail` is the WHERE / ORDER BY part. 3010 when the
    // target exists, 3078 when the source is missing. Returns the rows copied.
    long selectInto(std::string_view target, std::string_view source, std::string_view tail = {},
                    std::string_view columns = "*");
    // The same with the source in another database file (... FROM <source> IN '<file>').
    long selectIntoFrom(const std::filesystem::path& file, std::string_view target, std::string_view source,
                        std::string_view tail = {}, std::string_view columns = "*");

    // Another database file, attached read-only under `alias` for as long as the guard
    // lives, for statements such as INSERT INTO t SELECT ... FROM alias.t. Attach before
    // a Transaction begins (SQLite cannot attach inside one); then many copies can share
    // one attachment and one transaction.
    class Attachment;
    Attachment attach(const std::filesystem::path& file, std::string_view alias);
    long selectIntoFrom(const Attachment& file, std::string_view target, std::string_view source,
                        std::string_view tail = {}, std::string_view columns = "*");

private:
    explicit Database(std::shared_ptr<Connection> c);
    std::shared_ptr<Connection> conn_;
    friend class Transaction;
};

class Database::Attachment {
public:
    ~Attachment();
    Attachment(Attachment&&) noexcept;
    Attachment& operator=(Attachment&&) = delete;

private:
    friend class Database;
    struct State;
    explicit Attachment(std::unique_ptr<State> s);
    std::unique_ptr<State> s_;
};

// BeginTrans / CommitTrans / Rollback: rolled back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();
    void rollback();

private:
    std::shared_ptr<Connection> conn_;
    bool open_ = false;
};

class Recordset {
public:
    Recordset() noexcept;
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;

    bool isOpen() const noexcept;
    void close() noexcept;

    bool eof() const;
    bool bof() const;
    bool noMatch() const;
    long recordCount() const;  // every record of the dynaset

    // Moving off either end sets EOF or BOF; moving again, or MoveFirst/MoveLast on an
    // empty recordset, raises 3021.
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();

    // FindFirst / FindNext / FindPrevious with criteria text ("fldMonth = 0 And fldDay = 36").
    // The match becomes the current record; without one, noMatch() is true and the current
    // record stays. Bad criteria raise 3077 (syntax) or 3070 (unknown name).
    void findFirst(std::string_view criteria);
    void findNext(std::string_view criteria);
    void findPrevious(std::string_view criteria);

    // A field of the current record (or of the record being added or edited), by name,
    // case-insensitively. 3021 at EOF or BOF, 3167 on a deleted record, 3265 unknown name.
    const Value& operator[](std::string_view field) const;
    const std::vector<std::string>& fieldNames() const;

    // AddNew / Edit, then set fields, then Update (or cancelUpdate). Setting a field
    // outside AddNew/Edit raises 3020; a read-only recordset raises 3027. After Update
    // the record that was current before AddNew stays current; the new record is last.
    void addNew();
    void edit();
    void set(std::string_view field, Value value);
    void update();
    void cancelUpdate() noexcept;
    // Delete: the current record goes from the table; it stays current, as deleted,
    // until the next move.
    void deleteRecord();

private:
    friend class Database;
    struct Impl;
    explicit Recordset(std::unique_ptr<Impl> impl);
    Impl& live() const;
    std::unique_ptr<Impl> impl_;
};

}  // namespace dao
