#pragma once
// The log Soft.log in the program folder: one line an entry, in CP932, each line
// "yyyy/mm/dd hh:mm:ss " and the text, ended by CR LF. Written only in log mode.
#include <string>
#include <string_view>

#include "runtime/datetime.h"

// Appends one entry in log mode; does nothing otherwise. A log that cannot be written is
// skipped: writing it must never turn a report into a new failure.
void gsbWriteLog(std::string_view text) noexcept;

// The time stamp that begins a log line: "yyyy/mm/dd hh:mm:ss " (20 characters).
std::string gfnsLogStamp(const runtime::DateTime& local);
