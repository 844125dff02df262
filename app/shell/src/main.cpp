// The program's start: show the main window and hand over to the event loop.
#include <QApplication>
#include <QMainWindow>

#include "forms/msgbox.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::setApplicationTitle("KV-M58Sﾃﾞｰﾀ入力ｿﾌﾄ");
    QMainWindow frmMain;
    frmMain.setWindowTitle(QString::fromStdString(forms::applicationTitle()));
    frmMain.resize(800, 600);
    frmMain.show();
    return app.exec();
}
