// The program's start: the main window's load runs the start-up; the event loop runs
// until the exit step unloads it.
#include <QApplication>
#include <thread>

#include "core/files.h"
#include "dao/engine.h"
#include "printer/printer.h"
#include "shell/main_window.h"
#include "shell/program.h"

int main(int argc, char** argv) {
    // What the start-up's first checks use, the database engine and the system's user
    // database, is readied while this thread waits on the window system's connection.
    std::jthread ahead([] {
        dao::warmUp();
        readyUserLookup();
    });
    QApplication app(argc, argv);
    ahead.join();
    app.setQuitOnLastWindowClosed(true);
    shell::setUpProgram(QCoreApplication::applicationDirPath().toStdString());
    frmMain main;
    main.MDIForm_Load();
    // Print files an earlier run left behind go once the window is up: nothing prints
    // before the user can act.
    printer::removeLeftJobFiles();
    return app.exec();
}
