// A bare Qt Widgets window, the yardstick of the program's start: one label, at the main
// window's size, so that both draw the same number of pixels.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel hello("Hello");
    hello.resize(960, 720);
    hello.show();
    return app.exec();
}
