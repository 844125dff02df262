// The entry of the RDXKVM58 library: the card control with its Qt window.
#include <QApplication>
#include <QPointer>
#include <memory>

#include "about_dialog.h"
#include "com/qt_site.h"
#include "diag_widget.h"

namespace control {
namespace {

// The widget and the dialog exist only where the process runs a widget application.
bool widgetsAvailable() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

// Draws the timers' ticks into the diagnostic widget once the container has placed it; until
// then the figures are kept, so the widget starts from them.
class QtFaceView final : public FaceView {
public:
    ~QtFaceView() override { delete widget_.data(); }

    void showModeTick(bool active, int shownMode, long position, long length) override {
        mode_ = {shownMode, position, length};
        if (widget_) widget_->setModeTick(active, shownMode, position, length);
    }
    void showPollTick(bool active, int keptStatus) override {
        poll_ = {keptStatus};
        if (widget_) widget_->setPollTick(active, keptStatus);
    }
    void showAbout(const AboutTexts& texts) override {
        if (!widgetsAvailable()) return;
        AboutDialog dialog(texts);
        dialog.exec();
    }

    QWidget* window(QWidget* parent) {
        if (!widgetsAvailable()) return nullptr;
        if (!widget_) {
            widget_ = new DiagWidget(parent);
            widget_->setModeTick(false, mode_.shown, mode_.position, mode_.length);
            widget_->setPollTick(false, poll_.kept);
        } else if (widget_->parentWidget() != parent) {
            widget_->setParent(parent);
        }
        if (parent) widget_->show();
        return widget_.data();
    }

private:
    struct ModeFigures {
        int shown = 0;
        long position = 0;
        long length = 0;
    } mode_;
    struct PollFigures {
        int kept = 101;
    } poll_;
    QPointer<DiagWidget> widget_;
};

// The control as the container sees it: the face, and its window for the container to place.
class QtCardControl final : public CardControl, public com::QtWindowed {
public:
    QtCardControl(std::unique_ptr<QtFaceView> view, QtFaceView* raw)
        : CardControl(defaultEnvironment(), std::move(view)), view_(raw) {}

    static QtCardControl* create() {
        auto view = std::make_unique<QtFaceView>();
        QtFaceView* raw = view.get();
        return new QtCardControl(std::move(view), raw);
    }

    QWidget* createWindow(QWidget* parent) noexcept override {
        try {
            return view_->window(parent);
        } catch (...) {
            return nullptr;
        }
    }

private:
    QtFaceView* view_;  // owned by the face
};

}  // namespace
}  // namespace control

extern "C" __attribute__((visibility("default"))) com::Control* kvCreateInstance(const char* className) {
    try {
        if (!className || std::string_view(className) != "Card_KVM58") return nullptr;
        return control::QtCardControl::create();
    } catch (...) {
        return nullptr;
    }
}
