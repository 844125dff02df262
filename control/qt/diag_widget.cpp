#include "diag_widget.h"

#include <QPainter>
#include <QStyle>

namespace control {
namespace {

void square(QPainter& p, const QRect& r, bool lit, const QColor& color) {
    p.fillRect(r, lit ? color : Qt::white);
    p.setPen(Qt::gray);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setPen(Qt::white);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
}

}  // namespace

DiagWidget::DiagWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(112, 42);
    setFont(QFont(QString::fromUtf8("ＭＳ ゴシック"), 9));
}

// Each tick lights its square, then clears it: a repaint shows the blink.
void DiagWidget::setModeTick(bool active, int shownMode, long position, long length) {
    modeActive_ = active;
    shownMode_ = shownMode;
    position_ = position;
    length_ = length;
    update();
}

void DiagWidget::setPollTick(bool active, int keptStatus) {
    pollActive_ = active;
    kept_ = keptStatus;
    update();
}

void DiagWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.drawPixmap(0, 0, style()->standardIcon(QStyle::SP_DriveFDIcon).pixmap(32, 32));
    square(p, QRect(0, 32, 10, 10), modeActive_, Qt::blue);
    square(p, QRect(22, 32, 10, 10), pollActive_, Qt::red);
    p.setPen(Qt::black);
    const int line = p.fontMetrics().ascent();
    p.drawText(35, line, QString::asprintf("mlStatus =%3d ", kept_));
    p.drawText(35, 14 + line, QString::asprintf("mlMode   =%3d ", shownMode_));
    p.drawText(35, 28 + line, QString::asprintf("%6ld/%6ld ", position_, length_));
}

}  // namespace control
