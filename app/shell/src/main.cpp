// The program's start: the main window's load runs the start-up; the event loop runs
// until the exit step unloads it.
#include <QApplication>

#include "calendar/calendar.h"
#include "core/globals.h"
#include "forms/msgbox.h"
#include "patterns/frm_pattern.h"
#include "patterns/links.h"
#include "shell/main_window.h"

namespace {

// The windows of the day patterns and of the calendar call each other through links that
// the start installs, so that neither library depends on the other.
void linkWindows() {
    patterns::setScheduleReturn([] { calendar::returnFromPatternEditor(); });
    patterns::setHolidayEditor([](QWidget* owner) { calendar::showHolidayRuleEditor(owner); });
    calendar::setPatternEditorHook([](int pattern, const std::string& date) {
        QWidget* client = mainWindow()->clientArea();
        auto* editor = new frmPattern(client);
        editor->setGeometry(client->rect());
        editor->show();
        editor->msbShowForm(pattern, date);
    });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::setApplicationTitle(std::string(kAppTitle));
    app.setQuitOnLastWindowClosed(true);
    patterns::registerPages();
    calendar::registerPages();
    linkWindows();
    frmMain main;
    main.MDIForm_Load();
    return app.exec();
}
