// Registration of the calendar page and the hooks to the editor and printing.
#include "calendar/calendar.h"

#include "calendar/holiday_editor.h"
#include "calendar/schedule_window.h"
#include "hooks.h"
#include "wizard/pages.h"

namespace calendar {

namespace {

PatternEditorHook& editorHook() {
    static PatternEditorHook hook;
    return hook;
}

PrinterHook& printerHook() {
    static PrinterHook hook;
    return hook;
}

}  // namespace

void registerPages() {
    wizard::registerPage(4, [](QWidget* parent) -> wizard::Page* { return new frmSchedule(parent); });
}

void setPatternEditorHook(PatternEditorHook hook) { editorHook() = std::move(hook); }
void setPrinterHook(PrinterHook hook) { printerHook() = std::move(hook); }

void returnFromPatternEditor() {
    if (frmSchedule* w = frmSchedule::instance()) w->msbShowForm();
}

void showHolidayRuleEditor(QWidget* owner) {
    // A window of its own: the owner disables itself while the editor is shown.
    (void)owner;
    frmSyukujitu editor;
    editor.Form_Load();
    editor.exec();
}

namespace detail {

bool openPatternEditor(int pattern, const std::string& date) {
    if (!editorHook()) return false;
    editorHook()(pattern, date);
    return true;
}

void showPrinter(int printMode, int itemNo) {
    if (printerHook()) printerHook()(printMode, itemNo);
}

}  // namespace detail

}  // namespace calendar
