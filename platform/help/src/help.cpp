#include "help/help.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include "forms/msgbox.h"

namespace help {
namespace {

Viewer*& current() {
    static Viewer* v = nullptr;
    return v;
}

SystemViewer& systemViewer() {
    static SystemViewer v;
    return v;
}

bool openWithDesktop(const std::string& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
}

bool isHelpFile(const std::string& file) {
    const QFileInfo info(QString::fromStdString(file));
    return !file.empty() && info.isFile() && info.isReadable();
}

std::string baseName(const std::string& file) {
    return QFileInfo(QString::fromStdString(file)).fileName().toStdString();
}

}  // namespace

void setViewer(Viewer* v) { current() = v; }
Viewer& viewer() { return current() ? *current() : systemViewer(); }

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

std::string noViewerText(const std::string& file) {
    return "ヘルプファイル（" + baseName(file) + "）を表示できるアプリケーションがありません。";
}

SystemViewer::SystemViewer(Opener opener) : opener_(opener ? std::move(opener) : Opener(openWithDesktop)) {}

void SystemViewer::handle(const Request& request) {
    // The desktop viewer runs as a program of its own, which this program neither owns
    // nor may close: closing all help windows has nothing to do here.
    if (request.command == Command::CloseAll) return;
    if (!isHelpFile(request.file)) {
        forms::MsgBox(notInstalledText(request.file), forms::vbOKOnly | forms::vbInformation);
        return;
    }
    if (!opener_(request.file)) forms::MsgBox(noViewerText(request.file), forms::vbOKOnly | forms::vbExclamation);
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
