#pragma once
// The calendar windows as the rest of the program reaches them: the wizard page of the
// special-day calendar, the way back from the day-pattern editor, the holiday-rule editor,
// and the two hand-overs the calendar makes to windows that live in other libraries.
#include <functional>
#include <string>

class QWidget;

namespace calendar {

// Registers the special-day calendar frmSchedule for wizard form number 4.
void registerPages();

// Opens the day-pattern editor on a pattern with a date text (frmPattern.msbShowForm).
// The editor library installs it; the editor hands back through returnFromPatternEditor.
// Without one, the calendar comes straight back.
using PatternEditorHook = std::function<void(int pattern, const std::string& date)>;
void setPatternEditorHook(PatternEditorHook hook);

// Opens printing for a print mode and item number (gsbShowPrinter). Without one, the
// print menus do nothing.
using PrinterHook = std::function<void(int printMode, int itemNo)>;
void setPrinterHook(PrinterHook hook);

// frmSchedule.msbShowForm on the open calendar: the day-pattern editor calls it when it
// closes after being opened from the calendar. Nothing when no calendar is open.
void returnFromPatternEditor();

// Shows the holiday-rule editor frmSyukujitu modally for its owner (the day-pattern editor)
// and returns when it closes. The editor is a window of its own, so that the owner's
// disabling itself meanwhile does not reach it.
void showHolidayRuleEditor(QWidget* owner);

}  // namespace calendar
