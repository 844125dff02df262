#include "forms/msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
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
        const auto chosen = static_cast<QMessageBox::StandardButton>(box.exec());
        for (const auto& s : specs)
            if (s.button == chosen) return s.result;
        // Closed without a button: the escape button's answer.
        return specs.back().result;
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

int MsgBox(std::string_view prompt, int style, std::string_view title) {
    MessageBoxRequest r{std::string(prompt), style, title.empty() ? applicationTitle() : std::string(title)};
    return dialogService().messageBox(r);
}

ScriptedDialogs::ScriptedDialogs() : previous_(current()) { setDialogService(this); }
ScriptedDialogs::~ScriptedDialogs() { setDialogService(previous_); }

ScriptedDialogs& ScriptedDialogs::expect(std::string promptContains, int answer) {
    expected_.push_back({std::move(promptContains), answer});
    return *this;
}

int ScriptedDialogs::messageBox(const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (expected_.empty() || request.prompt.find(expected_.front().promptContains) == std::string::npos)
        throw UnexpectedDialog("unexpected message box: " + request.prompt);
    const int answer = expected_.front().answer;
    expected_.pop_front();
    return answer;
}

}  // namespace forms
