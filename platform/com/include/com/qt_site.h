#pragma once
// The host site of a Qt container: timers on the container's thread, and one pass of its
// event loop as the message pump.
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "com/dispatch.h"

namespace com {

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
