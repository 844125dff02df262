#pragma once
// A program folder for the harnesses over the program's own code: the built Master.dat,
// log mode off, a fixed clock, every message box answered, and a fatal end that throws
// (forms::ProgramEnded) instead of ending the fuzzer.
#include <string>
#include <string_view>

namespace fuzz {

// Sets the folder up once; later calls do nothing.
void useProgramFolder();

// The path of a file in the program folder.
std::string programFile(std::string_view name);

// Replaces Regist.dat by a new document's copy and opens it as gdbWork.
void openNewDocument();

}  // namespace fuzz
