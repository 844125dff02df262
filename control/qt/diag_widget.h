#pragma once
// The control's small diagnostic face: the icon, a square that lights while each timer
// works, the shown mode, the progress and the kept status.
#include <QWidget>

namespace control {

class DiagWidget : public QWidget {
public:
    explicit DiagWidget(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {112, 42}; }
    void setModeTick(bool active, int shownMode, long position, long length);
    void setPollTick(bool active, int keptStatus);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool modeActive_ = false;
    bool pollActive_ = false;
    int shownMode_ = 0;
    long position_ = 0;
    long length_ = 0;
    int kept_ = 101;
};

}  // namespace control
