#pragma once
// The one service through which every message box, input box and common dialog (open,
// save, folder) is shown. The program shows real dialogs; tests install a scripted
// service that answers what they expect and refuses any dialog they did not expect.
#include <deque>
#include <optional>
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

struct InputBoxRequest {
    std::string prompt;
    std::string title;
    std::string defaultText;
};

// The common file dialogs. The filter is written as the program writes it:
// "description|pattern|description|pattern", patterns separated by ';'.
struct FileDialogRequest {
    enum Kind { Open, Save, Folder };
    Kind kind = Open;
    std::string title;
    std::string filter;
    int filterIndex = 1;
    std::string initDir;
    std::string fileName;
    std::string defaultExt;
    bool overwritePrompt = true;  // save: ask before replacing a file
    bool fileMustExist = true;    // open: only existing files
};

class DialogService {
public:
    virtual ~DialogService() = default;
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    // The text entered, or nothing when cancelled.
    virtual std::optional<std::string> inputBox(const InputBoxRequest& request);
    // The chosen path, or nothing when cancelled.
    virtual std::optional<std::string> fileDialog(const FileDialogRequest& request);
};

// The title every box carries unless the caller names one.
void setApplicationTitle(std::string title);
const std::string& applicationTitle();

// Shows a box through the current service and returns the chosen button.
int MsgBox(std::string_view prompt, int style = vbOKOnly, std::string_view title = {});

// Shows an input box; the text entered, or "" when cancelled, as InputBox returns.
std::string InputBox(std::string_view prompt, std::string_view title = {}, std::string_view defaultText = {});

// The common dialogs; nothing when the user cancels (the program's callers turn that
// into their cancel error where they need one).
std::optional<std::string> ShowOpen(FileDialogRequest request);
std::optional<std::string> ShowSave(FileDialogRequest request);
std::optional<std::string> BrowseForFolder(std::string_view title, std::string_view initDir = {});

// The service in force; nullptr restores the real one.
void setDialogService(DialogService* service);
DialogService& dialogService();

// Raised by the scripted service when a box appears that the test did not expect.
class UnexpectedDialog : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Scripted answers for tests. Installs itself for its lifetime. Each expectation names
// the kind of dialog, a part of its prompt (or title) and the answer; dialogs must come
// in that order.
class ScriptedDialogs : public DialogService {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // A message box whose prompt contains the text, answered with the button.
    ScriptedDialogs& expect(std::string promptContains, int answer = vbOK);
    // An input box whose prompt contains the text; nothing answers Cancel.
    ScriptedDialogs& expectInput(std::string promptContains, std::optional<std::string> answer);
    // A file or folder dialog whose title contains the text; nothing answers Cancel.
    ScriptedDialogs& expectFile(FileDialogRequest::Kind kind, std::optional<std::string> answer,
                                std::string titleContains = {});

    int messageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> inputBox(const InputBoxRequest& request) override;
    std::optional<std::string> fileDialog(const FileDialogRequest& request) override;

    const std::vector<MessageBoxRequest>& shown() const { return shown_; }
    const std::vector<InputBoxRequest>& inputs() const { return inputs_; }
    const std::vector<FileDialogRequest>& fileDialogs() const { return files_; }
    std::size_t pending() const { return expected_.size(); }

private:
    enum class Kind { Message, Input, File };
    struct Expectation {
        Kind kind;
        std::string contains;
        int answer = vbOK;
        std::optional<std::string> text;
        FileDialogRequest::Kind fileKind = FileDialogRequest::Open;
    };
    Expectation take(Kind kind, const std::string& text, const std::string& what);
    std::deque<Expectation> expected_;
    std::vector<MessageBoxRequest> shown_;
    std::vector<InputBoxRequest> inputs_;
    std::vector<FileDialogRequest> files_;
    DialogService* previous_;
};

}  // namespace forms
