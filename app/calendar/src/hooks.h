#pragma once
// The calendar's calls into windows of other libraries, through the hooks they install.
#include <string>

namespace calendar::detail {

// frmPattern.msbShowForm(pattern, date); false when no editor is installed.
bool openPatternEditor(int pattern, const std::string& date);
// gsbShowPrinter(mode, item).
void showPrinter(int printMode, int itemNo);

}  // namespace calendar::detail
