#pragma once
// Help access by context number. Windows ask for the contents, the keyword index or the
// topic of a context number of one help file, and close every help window at exit. A
// viewer carries the request out: the program's help window by default, a recording one
// in tests.
#include <QPointer>

#include <string>
#include <vector>

class QWidget;

namespace help {

class Window;

// The command numbers of the help system, kept so that logs and tests read alike.
enum class Command : int { Contents = 1, Index = 2, Context = 15, CloseAll = 18 };

struct Request {
    Command command = Command::Contents;
    std::string file;      // the help file (empty for CloseAll)
    long context = 0;      // Context only
    std::string keyword;   // Index only
    QWidget* owner = nullptr;
};

class Viewer {
public:
    virtual ~Viewer() = default;
    virtual void handle(const Request& request) = 0;
};

// The four calls. Results are not reported: a missing file or topic is the viewer's to show.
void showContents(QWidget* owner, const std::string& file);
void showIndex(QWidget* owner, const std::string& file, const std::string& keyword);
void showContext(QWidget* owner, const std::string& file, long context);
void closeAll();

// The viewer in force; nullptr restores the program's help window.
void setViewer(Viewer* viewer);
Viewer& viewer();

// Shows the help book of the file in the program's help window: one window, created on
// the first request, owned by the request's owner. A file that holds no book gives the
// message that help is not installed instead. CloseAll closes the window.
class WindowViewer : public Viewer {
public:
    void handle(const Request& request) override;
    // The help window, or nullptr while none is open.
    Window* window() const;

private:
    void close();
    QPointer<Window> window_;
};

// The text shown when the help file is missing.
std::string notInstalledText(const std::string& file);

// The program's help window, or nullptr while none is open.
Window* openWindow();

// Records every request and shows nothing. Installs itself for its lifetime.
class RecordingViewer : public Viewer {
public:
    RecordingViewer();
    ~RecordingViewer() override;
    RecordingViewer(const RecordingViewer&) = delete;
    RecordingViewer& operator=(const RecordingViewer&) = delete;

    void handle(const Request& request) override { requests_.push_back(request); }
    const std::vector<Request>& requests() const { return requests_; }
    // The context numbers asked for, in order.
    std::vector<long> contexts() const;
    void clear() { requests_.clear(); }

private:
    std::vector<Request> requests_;
    Viewer* previous_;
};

}  // namespace help
