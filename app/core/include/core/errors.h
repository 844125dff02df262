#pragma once
// The central error reporter. Every handler hands its trouble here: an internal fault
// found by the code (a text naming the procedure), or the run-time error it caught.
// A fatal report ends the program at once, through the fatal hook; a non-fatal one is
// shown and logged only in log mode.
#include <string>
#include <string_view>

namespace runtime {
class Error;
}

// With a text: an internal fault. With an empty text: the run-time error being handled
// (called inside a catch block; the caught exception gives its number and description).
void gsbErrorMsg(std::string_view text, bool fatal);
// The caught run-time error, passed explicitly.
void gsbErrorMsg(const runtime::Error& error, bool fatal);

// A critical box titled with the application title and " デバッグ", then the same text to
// the log.
void gsbDebugMsg(std::string_view text);

// The title of every box: the application title.
std::string gfnsAppTitle();
