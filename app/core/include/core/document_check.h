#pragma once
// What a database must be before the program takes it as the open document. The windows
// read every table of a document, index by its numbers and draw its steps and dates, so a
// file that is damaged, or that holds a value no window of the program writes, is refused
// when it is opened rather than ending the program on some later page.
#include <string>

#include "dao/database.h"

namespace core {

// Asks the database engine whether the file is whole (its quick check of every page).
// A damaged file raises the engine's error for it, 3049, naming the file.
void checkDatabaseWhole(dao::Database& db);

// The first thing in a document that the program cannot work with, as a text for the log
// ("テーブル（tblYear）がない。"), or "" when there is none: a document table or one of its
// fields missing, a number field that holds no 16-bit whole number, a step that names no
// channel 0..9, a special day that is no date, a day pattern row of 0..20 missing.
std::string documentFault(dao::Database& db);

}  // namespace core
