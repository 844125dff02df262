// The program's start: the main window's load runs the start-up; the event loop runs
// until the exit step unloads it.
#include <QApplication>

#include "printer/printer.h"
#include "shell/main_window.h"
#include "shell/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(true);
    printer::removeLeftJobFiles();
    shell::setUpProgram(QCoreApplication::applicationDirPath().toStdString());
    frmMain main;
    main.MDIForm_Load();
    return app.exec();
}
