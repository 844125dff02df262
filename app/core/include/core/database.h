#pragma once
// The document database: the shared connection, the five routines every window opens,
// closes, compacts and drops through, and the copies that make a document from Master.dat.
#include <string>
#include <string_view>

#include "core/globals.h"
#include "dao/database.h"

// Opens the database file into db. Any failure is fatal: the program ends.
void gsbOpenDatabase(dao::Database& db, const std::string& path);
// Closes db; a connection never opened, or closed twice, is no fault.
void gsbCloseDatabase(dao::Database& db) noexcept;
// Compacts the database file in place, through TempDB.dat. The file is replaced in one
// step, so a failure leaves it whole; the failure is reported (logged in log mode) and
// the result is False.
bool gsbCompactDatabase(const std::string& path);
// Drops a table; a missing table is no fault, any other failure is fatal.
void gsbDropTable(dao::Database& db, std::string_view table);
// True when the file opens as a database and the engine finds it whole. In log mode, why
// it does not is shown.
bool gfnfCheckDatabase(const std::string& path);

// Copies every document table from the program folder's Master.dat into db: the tables
// whole, and tblSetting with its six document columns in display order. Raises the
// database's run-time error on failure.
void copyMasterTables(dao::Database& db);
// Creates the document file at path (replacing any file there) from Master.dat and
// closes it again. Raises the run-time error on failure.
void createDocumentFromMaster(const std::string& path);
