#pragma once
// The Qt side of hosting a control: the host site of a Qt container (timers on the
// container's thread, one pass of its event loop as the message pump), and the window a
// control with a face of its own hands to its container.
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "com/dispatch.h"

class QWidget;

namespace com {

// A control that draws a window of its own. The container asks for it once it has a place
// for it. The window lives in `parent`: it goes when the parent goes, or with the control.
class QtWindowed {
public:
    virtual ~QtWindowed() = default;
    // The control's window, placed in `parent`; null when the process has no widgets.
    virtual QWidget* createWindow(QWidget* parent) noexcept = 0;
};

// The window interface of `control`, or null when it has none.
inline QtWindowed* qtWindowed(Control& control) noexcept { return dynamic_cast<QtWindowed*>(&control); }

class QtHostSite : public QObject, public HostSite {
public:
    explicit QtHostSite(Control& control, QObject* parent = nullptr);
    ~QtHostSite() override;
    bool setTimer(unsigned id, unsigned intervalMs) override;
    void killTimer(unsigned id) override;
    void pumpMessages() override;

private:
    Control& control_;
    std::map<unsigned, std::unique_ptr<QTimer>> timers_;
};

}  // namespace com
