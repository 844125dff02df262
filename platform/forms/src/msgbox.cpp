#include "forms/msgbox.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QStyle>
#include <QStringList>
#include <utility>

namespace forms {
namespace {

std::string& titleStore() {
    static std::string t;
    return t;
}

QMessageBox::Icon iconOf(int style) {
    switch (style & 0x70) {
    case vbCritical: return QMessageBox::Critical;
    case vbQuestion: return QMessageBox::Question;
    case vbExclamation: return QMessageBox::Warning;
    case vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int result;
};

std::vector<ButtonSpec> buttonsOf(int style) {
    switch (style & 0x7) {
    case vbOKCancel: return {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
    case vbAbortRetryIgnore:
        return {{QMessageBox::Abort, vbAbort}, {QMessageBox::Retry, vbRetry}, {QMessageBox::Ignore, vbIgnore}};
    case vbYesNoCancel: return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
    case vbYesNo: return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
    case vbRetryCancel: return {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
    default: return {{QMessageBox::Ok, vbOK}};
    }
}

// A small box is as wide as its text asks, and its frame then cuts its title short: an
// empty strip below the buttons keeps the box as wide as the title in the frame's bold
// face, beside the frame's icon and buttons.
void keepTitleWhole(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    QFont face = QApplication::font("QMdiSubWindowTitleBar");
    face.setBold(true);
    const int buttons = 5 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    const int width = QFontMetrics(face).horizontalAdvance(box.windowTitle()) + buttons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

// The real boxes, shown modal over the active window.
class QtDialogs : public DialogService {
public:
    int messageBox(const MessageBoxRequest& r) override {
        QMessageBox box(iconOf(r.style), QString::fromStdString(r.title), QString::fromStdString(r.prompt),
                        QMessageBox::NoButton, QApplication::activeWindow());
        const auto specs = buttonsOf(r.style);
        for (const auto& s : specs) box.addButton(s.button);
        const std::size_t def = (r.style & 0x300) >> 8;
        if (def < specs.size()) box.setDefaultButton(specs[def].button);
        box.setEscapeButton(specs.back().button);
        keepTitleWhole(box);
        const auto chosen = static_cast<QMessageBox::StandardButton>(box.exec());
        for (const auto& s : specs)
            if (s.button == chosen) return s.result;
        // Closed without a button: the escape button's answer.
        return specs.back().result;
    }

    std::optional<std::string> inputBox(const InputBoxRequest& r) override {
        bool ok = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(r.title),
                                                   QString::fromStdString(r.prompt), QLineEdit::Normal,
                                                   QString::fromStdString(r.defaultText), &ok);
        if (!ok) return std::nullopt;
        return text.toStdString();
    }

    std::optional<std::string> fileDialog(const FileDialogRequest& r) override {
        QWidget* parent = QApplication::activeWindow();
        const QString title = QString::fromStdString(r.title);
        QString start = QString::fromStdString(r.initDir);
        if (r.kind == FileDialogRequest::Folder) {
            const QString dir = QFileDialog::getExistingDirectory(parent, title, start);
            if (dir.isEmpty()) return std::nullopt;
            return dir.toStdString();
        }
        if (!r.fileName.empty()) start = start.isEmpty() ? QString::fromStdString(r.fileName)
                                                         : start + '/' + QString::fromStdString(r.fileName);
        const QStringList filters = qtFilters(r.filter);
        QString selected = filters.value(r.filterIndex - 1);
        QFileDialog::Options options;
        if (!r.overwritePrompt) options |= QFileDialog::DontConfirmOverwrite;
        QString path;
        if (r.kind == FileDialogRequest::Save) {
            // The dialog adds the default extension itself, before it asks whether to
            // replace a file, so the question names the file that would be replaced.
            QFileDialog dialog(parent, title, start, filters.join(";;"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setOptions(options);
            if (!selected.isEmpty()) dialog.selectNameFilter(selected);
            if (!r.defaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(r.defaultExt));
            if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
                path = dialog.selectedFiles().constFirst();
        } else {
            path = QFileDialog::getOpenFileName(parent, title, start, filters.join(";;"), &selected, options);
        }
        if (path.isEmpty()) return std::nullopt;
        return path.toStdString();
    }

private:
    // "Text|*.txt;*.log|All|*.*" becomes "Text (*.txt *.log)" and "All (*.*)".
    static QStringList qtFilters(const std::string& filter) {
        const QStringList parts = QString::fromStdString(filter).split('|');
        QStringList out;
        for (int i = 0; i + 1 < parts.size(); i += 2)
            out << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
        return out;
    }
};

QtDialogs& qtDialogs() {
    static QtDialogs d;
    return d;
}

DialogService*& current() {
    static DialogService* s = nullptr;
    return s;
}

}  // namespace

void setApplicationTitle(std::string title) { titleStore() = std::move(title); }
const std::string& applicationTitle() { return titleStore(); }

void setDialogService(DialogService* service) { current() = service; }
DialogService& dialogService() { return current() ? *current() : qtDialogs(); }

std::optional<std::string> DialogService::inputBox(const InputBoxRequest& request) {
    throw UnexpectedDialog("input box not supported by this dialog service: " + request.prompt);
}

std::optional<std::string> DialogService::fileDialog(const FileDialogRequest& request) {
    throw UnexpectedDialog("file dialog not supported by this dialog service: " + request.title);
}

std::string InputBox(std::string_view prompt, std::string_view title, std::string_view defaultText) {
    InputBoxRequest r{std::string(prompt), title.empty() ? applicationTitle() : std::string(title),
                      std::string(defaultText)};
    return dialogService().inputBox(r).value_or(std::string());
}

std::optional<std::string> ShowOpen(FileDialogRequest request) {
    request.kind = FileDialogRequest::Open;
    return dialogService().fileDialog(request);
}

std::optional<std::string> ShowSave(FileDialogRequest request) {
    request.kind = FileDialogRequest::Save;
    return dialogService().fileDialog(request);
}

std::optional<std::string> BrowseForFolder(std::string_view title, std::string_view initDir) {
    FileDialogRequest r;
    r.kind = FileDialogRequest::Folder;
    r.title = std::string(title);
    r.initDir = std::string(initDir);
    return dialogService().fileDialog(r);
}

int MsgBox(std::string_view prompt, int style, std::string_view title) {
    MessageBoxRequest r{std::string(prompt), style, title.empty() ? applicationTitle() : std::string(title)};
    return dialogService().messageBox(r);
}

ScriptedDialogs::ScriptedDialogs() : previous_(current()) { setDialogService(this); }
ScriptedDialogs::~ScriptedDialogs() { setDialogService(previous_); }

ScriptedDialogs& ScriptedDialogs::expect(std::string promptContains, int answer) {
    expected_.push_back({Kind::Message, std::move(promptContains), answer, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectInput(std::string promptContains, std::optional<std::string> answer) {
    expected_.push_back({Kind::Input, std::move(promptContains), vbOK, std::move(answer)});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectFile(FileDialogRequest::Kind kind, std::optional<std::string> answer,
                                             std::string titleContains) {
    expected_.push_back({Kind::File, std::move(titleContains), vbOK, std::move(answer), kind});
    return *this;
}

ScriptedDialogs::Expectation ScriptedDialogs::take(Kind kind, const std::string& text, const std::string& what) {
    if (expected_.empty() || expected_.front().kind != kind ||
        text.find(expected_.front().contains) == std::string::npos)
        throw UnexpectedDialog("unexpected " + what + ": " + text);
    Expectation e = std::move(expected_.front());
    expected_.pop_front();
    return e;
}

int ScriptedDialogs::messageBox(const MessageBoxRequest& request) {
    shown_.push_back(request);
    return take(Kind::Message, request.prompt, "message box").answer;
}

std::optional<std::string> ScriptedDialogs::inputBox(const InputBoxRequest& request) {
    inputs_.push_back(request);
    return take(Kind::Input, request.prompt, "input box").text;
}

std::optional<std::string> ScriptedDialogs::fileDialog(const FileDialogRequest& request) {
    files_.push_back(request);
    static const char* const names[] = {"open dialog", "save dialog", "folder dialog"};
    if (!expected_.empty() && expected_.front().kind == Kind::File && expected_.front().fileKind != request.kind)
        throw UnexpectedDialog(std::string("unexpected ") + names[request.kind] + ": " + request.title);
    return take(Kind::File, request.title, names[request.kind]).text;
}

}  // namespace forms
