#pragma once
// The control's small diagnostic face: the icon, a square that blinks while each timer
// works (blue for the mode timer, red for the card poll), the kept status, the shown mode
// and the progress.
#include <QTimer>
#include <QWidget>

namespace control {

class DiagWidget : public QWidget {
public:
    static constexpr int kWidth = 112;
    static constexpr int kHeight = 42;
    static constexpr int kBlinkMs = 20;

    explicit DiagWidget(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {kWidth, kHeight}; }

    // A tick starts (`active`): its square lights at once. A tick ends: the figures change,
    // and the square goes dark once it has shown for a short blink.
    void setModeTick(bool active, int shownMode, long position, long length);
    void setPollTick(bool active, int keptStatus);
    // Ends the blinks now: the square of a tick that has ended goes dark.
    void settle();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Square {
        bool lit = false;
        bool working = false;  // its tick has not ended yet
    };
    void tick(Square& square, bool active);
    void blinkOff();

    Square mode_;
    Square poll_;
    int shownMode_ = 0;
    long position_ = 0;
    long length_ = 0;
    int kept_ = 101;
    QTimer blink_;
};

}  // namespace control
