#pragma once
// The one service through which every message box is shown. The program shows real
// boxes; tests install a scripted service that answers what they expect and refuses
// any box they did not expect.
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

// Buttons, icon and default button, added together as the program passes them.
enum MsgBoxStyle : int {
    vbOKOnly = 0, vbOKCancel = 1, vbAbortRetryIgnore = 2, vbYesNoCancel = 3, vbYesNo = 4, vbRetryCancel = 5,
    vbCritical = 16, vbQuestion = 32, vbExclamation = 48, vbInformation = 64,
    vbDefaultButton1 = 0, vbDefaultButton2 = 256, vbDefaultButton3 = 512,
};

// The button the user chose.
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

struct MessageBoxRequest {
    std::string prompt;
    int style = vbOKOnly;
    std::string title;
};

class DialogService {
public:
    virtual ~DialogService() = default;
    virtual int messageBox(const MessageBoxRequest& request) = 0;
};

// The title every box carries unless the caller names one.
void setApplicationTitle(std::string title);
const std::string& applicationTitle();

// Shows a box through the current service and returns the chosen button.
int MsgBox(std::string_view prompt, int style = vbOKOnly, std::string_view title = {});

// The service in force; nullptr restores the real one.
void setDialogService(DialogService* service);
DialogService& dialogService();

// Raised by the scripted service when a box appears that the test did not expect.
class UnexpectedDialog : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Scripted answers for tests. Installs itself for its lifetime. Each expectation names
// a part of the prompt and the button to answer with; boxes must come in that order.
class ScriptedDialogs : public DialogService {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    ScriptedDialogs& expect(std::string promptContains, int answer = vbOK);
    int messageBox(const MessageBoxRequest& request) override;

    const std::vector<MessageBoxRequest>& shown() const { return shown_; }
    std::size_t pending() const { return expected_.size(); }

private:
    struct Expectation {
        std::string promptContains;
        int answer;
    };
    std::deque<Expectation> expected_;
    std::vector<MessageBoxRequest> shown_;
    DialogService* previous_;
};

}  // namespace forms
