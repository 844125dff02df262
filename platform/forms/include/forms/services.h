#pragma once
// The small services the windows rely on: beep, DoEvents, the screen's busy pointer,
// the screen's twips per pixel, and the mouse and key constants of the events.
#include <QMouseEvent>
#include <QObject>
#include <QTimer>

namespace forms {

// Beeps and counts the beep, so that tests can tell how many were heard.
void beep();
int beepCount();
void resetBeepCount();

// Lets pending window events run. The run time's DoEvents is hooked to it.
void doEvents();

// Hooks the run time's DoEvents to the window system and registers the font
// substitutions; the program calls it once at start.
void installRuntimeHooks();

// The screen pointer. It is set, never stacked: setting it twice and resetting it once
// leaves the ordinary pointer, so a busy pointer cannot leak.
inline constexpr int vbDefault = 0;
inline constexpr int vbArrow = 1;
inline constexpr int vbHourglass = 11;
void setScreenPointer(int pointer);
int screenPointer();

// Twips per screen pixel (15 at 96 dots per inch).
int twipsPerPixelX();
int twipsPerPixelY();

// Mouse buttons and key states as the mouse events report them.
inline constexpr int vbLeftButton = 1;
inline constexpr int vbRightButton = 2;
inline constexpr int vbMiddleButton = 4;
inline constexpr int vbShiftMask = 1;
inline constexpr int vbCtrlMask = 2;
inline constexpr int vbAltMask = 4;
int buttonOf(Qt::MouseButtons buttons);
int shiftOf(Qt::KeyboardModifiers modifiers);

// A timer that ticks every Interval milliseconds while Enabled; an Interval of 0 stops it.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr);
    void setInterval(int ms);
    int interval() const { return interval_; }
    void setEnabled(bool on);
    bool isEnabled() const { return enabled_; }
    bool isRunning() const { return timer_.isActive(); }
    // Raises one tick at once, as if the interval had passed; tests drive timers with it.
    void fire() { emit timer(); }

signals:
    void timer();

private:
    void apply();
    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = true;
};

}  // namespace forms
