#pragma once
// A savepoint on a connection: rolled back unless released. Unlike a transaction it nests,
// so a routine can make its own statements atomic whether or not its caller has one open.
#include <string>

#include "dao/database.h"

namespace core {

class Savepoint {
public:
    Savepoint(dao::Database& db, std::string name) : db_(db), name_(std::move(name)) {
        db_.execute("SAVEPOINT " + name_);
    }
    ~Savepoint() {
        if (open_) {
            try {
                db_.execute("ROLLBACK TO " + name_);
                db_.execute("RELEASE " + name_);
            } catch (...) {
                // The connection is gone; nothing is left to undo.
            }
        }
    }
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    void release() {
        db_.execute("RELEASE " + name_);
        open_ = false;
    }

private:
    dao::Database& db_;
    std::string name_;
    bool open_ = true;
};

}  // namespace core
