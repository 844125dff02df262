// The program's start: the main window's load runs the start-up; the event loop runs
// until the exit step unloads it.
#include <QApplication>

#include "printer/printer.h"
#include "shell/main_window.h"
#include "shell/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(true);
    shell::setUpProgram(QCoreApplication::applicationDirPath().toStdString());
    frmMain main;
    main.MDIForm_Load();
    // Print files an earlier run left behind go once the window is up: nothing prints
    // before the user can act.
    printer::removeLeftJobFiles();
    return app.exec();
}
