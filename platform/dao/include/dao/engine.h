#pragma once
// The database engine as a whole.

namespace dao {

// Readies the engine: its set-up, and the code of an open, a table and a query, run once
// on a private database in memory; no file is touched. Any thread may call it, at any
// time. The program's start runs it beside the window system's connection, so that
// Master.dat's checks find the engine ready.
void warmUp() noexcept;

}  // namespace dao
