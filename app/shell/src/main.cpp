// The program's start: the main window's load runs the start-up; the event loop runs
// until the exit step unloads it.
#include <QApplication>

#include "card/window.h"
#include "core/globals.h"
#include "forms/msgbox.h"
#include "patterns/links.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::setApplicationTitle(std::string(kAppTitle));
    app.setQuitOnLastWindowClosed(true);
    card::registerPages();
    patterns::registerPages();
    frmMain main;
    main.MDIForm_Load();
    return app.exec();
}
