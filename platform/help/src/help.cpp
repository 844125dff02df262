#include "help/help.h"

#include <QApplication>
#include <QFileInfo>
#include <QString>

#include "forms/msgbox.h"
#include "help/book.h"
#include "help/window.h"

namespace help {
namespace {

Viewer*& current() {
    static Viewer* v = nullptr;
    return v;
}

WindowViewer& programViewer() {
    static WindowViewer v;
    return v;
}

std::string baseName(const std::string& file) {
    return QFileInfo(QString::fromStdString(file)).fileName().toStdString();
}

}  // namespace

void setViewer(Viewer* v) { current() = v; }
Viewer& viewer() { return current() ? *current() : programViewer(); }

void showContents(QWidget* owner, const std::string& file) {
    viewer().handle({Command::Contents, file, 0, {}, owner});
}

void showIndex(QWidget* owner, const std::string& file, const std::string& keyword) {
    viewer().handle({Command::Index, file, 0, keyword, owner});
}

void showContext(QWidget* owner, const std::string& file, long context) {
    viewer().handle({Command::Context, file, context, {}, owner});
}

void closeAll() { viewer().handle({Command::CloseAll, {}, 0, {}, nullptr}); }

std::string notInstalledText(const std::string& file) {
    return "ヘルプファイル（" + baseName(file) + "）がインストールされていません。";
}

Window* openWindow() { return programViewer().window(); }

Window* WindowViewer::window() const { return window_.data(); }

void WindowViewer::close() {
    if (!window_) return;
    window_->close();
    // Asked for from another window's event, or at exit: the window goes once that
    // event has returned.
    window_->deleteLater();
    window_.clear();
}

void WindowViewer::handle(const Request& request) {
    if (request.command == Command::CloseAll) {
        close();
        return;
    }
    std::optional<Book> book = Book::open(QString::fromStdString(request.file));
    if (!book) {
        forms::MsgBox(notInstalledText(request.file), forms::vbOKOnly | forms::vbInformation);
        return;
    }
    // The other help file (the brand mode changed) gets a window of its own.
    if (window_ && window_->book().folder() != book->folder()) close();
    QWidget* owner = request.owner ? request.owner->window() : nullptr;
    // A modal dialog that asks for help blocks every window but its own: the help window
    // becomes one of its windows until it closes.
    QWidget* modal = QApplication::activeModalWidget();
    QWidget* host = modal ? modal : owner;
    if (!window_) window_ = new Window(std::move(*book), host);
    window_->setHost(host, owner);
    switch (request.command) {
    case Command::Contents: window_->showContents(); break;
    case Command::Index: window_->showIndex(QString::fromStdString(request.keyword)); break;
    case Command::Context: window_->showTopic(request.context); break;
    case Command::CloseAll: break;
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

RecordingViewer::RecordingViewer() : previous_(current()) { current() = this; }
RecordingViewer::~RecordingViewer() { current() = previous_; }

std::vector<long> RecordingViewer::contexts() const {
    std::vector<long> out;
    for (const auto& r : requests_)
        if (r.command == Command::Context) out.push_back(r.context);
    return out;
}

}  // namespace help
