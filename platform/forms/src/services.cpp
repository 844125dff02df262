#include "forms/services.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>

#include "forms/fonts.h"
#include "runtime/events.h"

namespace forms {
namespace {
int beeps = 0;
int pointer = vbDefault;

Qt::CursorShape shapeOf(int p) {
    switch (p) {
    case vbHourglass: return Qt::WaitCursor;
    case 2: return Qt::CrossCursor;
    case 3: return Qt::IBeamCursor;
    case 5: return Qt::SizeAllCursor;
    case 6: return Qt::SizeBDiagCursor;
    case 7: return Qt::SizeVerCursor;
    case 8: return Qt::SizeFDiagCursor;
    case 9: return Qt::SizeHorCursor;
    case 10: return Qt::UpArrowCursor;
    case 12: return Qt::ForbiddenCursor;
    case 13: return Qt::BusyCursor;
    case 15: return Qt::SizeAllCursor;
    case 99: return Qt::ArrowCursor;
    default: return Qt::ArrowCursor;
    }
}

int twipsPerPixel(bool horizontal) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 15;
    const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    if (dpi < 1) return 15;
    const int t = static_cast<int>(1440.0 / dpi + 0.5);
    return t > 0 ? t : 15;
}
}  // namespace

void beep() {
    ++beeps;
    QApplication::beep();
}
int beepCount() { return beeps; }
void resetBeepCount() { beeps = 0; }

void doEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void installRuntimeHooks() {
    runtime::setDoEventsHook(&doEvents);
    installFontSubstitutions();
}

namespace {
// The run time's DoEvents lets window events run as soon as the forms layer is linked in.
const bool hooked = (runtime::setDoEventsHook(&doEvents), true);
}  // namespace

void setScreenPointer(int p) {
    const bool wasSet = pointer != vbDefault;
    pointer = p;
    if (p == vbDefault) {
        // Undo every override, including any that other code stacked on ours.
        if (wasSet)
            while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        return;
    }
    const QCursor cursor(shapeOf(p));
    if (wasSet && QApplication::overrideCursor())
        QApplication::changeOverrideCursor(cursor);
    else
        QApplication::setOverrideCursor(cursor);
}
int screenPointer() { return pointer; }

int twipsPerPixelX() { return twipsPerPixel(true); }
int twipsPerPixelY() { return twipsPerPixel(false); }

int buttonOf(Qt::MouseButtons b) {
    int r = 0;
    if (b & Qt::LeftButton) r |= vbLeftButton;
    if (b & Qt::RightButton) r |= vbRightButton;
    if (b & Qt::MiddleButton) r |= vbMiddleButton;
    return r;
}

int shiftOf(Qt::KeyboardModifiers m) {
    int r = 0;
    if (m & Qt::ShiftModifier) r |= vbShiftMask;
    if (m & Qt::ControlModifier) r |= vbCtrlMask;
    if (m & Qt::AltModifier) r |= vbAltMask;
    return r;
}

Timer::Timer(QObject* parent) : QObject(parent) {
    connect(&timer_, &QTimer::timeout, this, &Timer::timer);
}

void Timer::setInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    apply();
}

void Timer::setEnabled(bool on) {
    enabled_ = on;
    apply();
}

void Timer::apply() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

}  // namespace forms
