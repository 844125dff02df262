#include "com/qt_site.h"

#include <QCoreApplication>

namespace com {

QtHostSite::QtHostSite(Control& control, QObject* parent) : QObject(parent), control_(control) {}

QtHostSite::~QtHostSite() = default;

bool QtHostSite::setTimer(unsigned id, unsigned intervalMs) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, this, [this, id] { control_.onTimer(id); });
    }
    timer->start(static_cast<int>(intervalMs));
    return true;
}

void QtHostSite::killTimer(unsigned id) {
    if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

void QtHostSite::pumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace com
