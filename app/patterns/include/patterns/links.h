#pragma once
// What the pattern windows call in windows built elsewhere: the print entry, the
// special-day calendar and the holiday-rule editor. Those windows' libraries (or the
// program's start) install the calls; a call not installed does nothing.
#include <functional>

class QWidget;

namespace patterns {

// gsbShowPrinter(print mode, item number).
void setPrintEntry(std::function<void(int iPrintMode, int iNo)> entry);
// frmSchedule.msbShowForm(): brings the special-day calendar back.
void setScheduleReturn(std::function<void()> show);
// frmSyukujitu, shown modally over the given window.
void setHolidayEditor(std::function<void(QWidget* owner)> show);

void gsbShowPrinter(int iPrintMode, int iNo);
void showSchedule();
void showHolidayEditor(QWidget* owner);

// Registers the settings page (form 1) and the day-pattern editor (forms 2 and 3) with
// the wizard.
void registerPages();

}  // namespace patterns
