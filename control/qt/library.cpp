// The entry of the RDXKVM58 library: the card control with its Qt window.
#include <QApplication>
#include <memory>

#include "about_dialog.h"
#include "diag_widget.h"

namespace control {
namespace {

// The widget and the dialog exist only where the process runs a widget application.
bool widgetsAvailable() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

class QtFaceView final : public FaceView {
public:
    void showModeTick(bool active, int shownMode, long position, long length) override {
        if (auto* w = widget()) w->setModeTick(active, shownMode, position, length);
    }
    void showPollTick(bool active, int keptStatus) override {
        if (auto* w = widget()) w->setPollTick(active, keptStatus);
    }
    void showAbout(const AboutTexts& texts) override {
        if (!widgetsAvailable()) return;
        AboutDialog dialog(texts);
        dialog.exec();
    }

private:
    DiagWidget* widget() {
        if (!widget_ && widgetsAvailable()) widget_ = std::make_unique<DiagWidget>();
        return widget_.get();
    }
    std::unique_ptr<DiagWidget> widget_;
};

}  // namespace
}  // namespace control

extern "C" __attribute__((visibility("default"))) com::Control* kvCreateInstance(const char* className) {
    try {
        if (!className || std::string_view(className) != "Card_KVM58") return nullptr;
        return new control::CardControl(control::defaultEnvironment(), std::make_unique<control::QtFaceView>());
    } catch (...) {
        return nullptr;
    }
}
