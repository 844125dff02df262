#include "diag_widget.h"

#include <QPainter>
#include <QStyle>

namespace control {
namespace {

constexpr QRect kModeSquare(0, 32, 10, 10);
constexpr QRect kPollSquare(22, 32, 10, 10);
constexpr int kTextLeft = 35;

// A 10 x 10 square with a raised edge.
void square(QPainter& p, const QRect& r, bool lit, const QColor& color) {
    p.fillRect(r, lit ? color : QColor(Qt::white));
    p.setPen(Qt::white);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(Qt::gray);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

DiagWidget::DiagWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    QFont font;
    // The monospace Japanese face; IPAGothic stands in where the original is missing.
    font.setFamilies({QString::fromUtf8("ＭＳ ゴシック"), QStringLiteral("IPAGothic"), QStringLiteral("Monospace")});
    font.setPointSize(9);
    setFont(font);
    blink_.setSingleShot(true);
    blink_.setInterval(kBlinkMs);
    connect(&blink_, &QTimer::timeout, this, [this] { blinkOff(); });
}

void DiagWidget::setModeTick(bool active, int shownMode, long position, long length) {
    shownMode_ = shownMode;
    position_ = position;
    length_ = length;
    tick(mode_, active);
}

void DiagWidget::setPollTick(bool active, int keptStatus) {
    kept_ = keptStatus;
    tick(poll_, active);
}

// Lit and painted at once, so that the blink shows even while the tick's work holds the
// thread; the blink timer darkens it without holding the container's thread.
void DiagWidget::tick(Square& square, bool active) {
    square.working = active;
    if (active) {
        square.lit = true;
        if (isVisible()) repaint();
        blink_.start();
        return;
    }
    if (!blink_.isActive()) square.lit = false;
    update();
}

void DiagWidget::blinkOff() {
    for (Square* s : {&mode_, &poll_})
        if (!s->working) s->lit = false;
    update();
}

void DiagWidget::settle() {
    blink_.stop();
    blinkOff();
}

void DiagWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.drawPixmap(0, 0, style()->standardIcon(QStyle::SP_DriveFDIcon).pixmap(32, 32));
    square(p, kModeSquare, mode_.lit, Qt::blue);
    square(p, kPollSquare, poll_.lit, Qt::red);
    p.setPen(Qt::black);
    const int line = p.fontMetrics().ascent();
    p.drawText(kTextLeft, line, QString::asprintf("mlStatus =%3d ", kept_));
    p.drawText(kTextLeft, 14 + line, QString::asprintf("mlMode   =%3d ", shownMode_));
    p.drawText(kTextLeft, 28 + line, QString::asprintf("%6ld/%6ld ", position_, length_));
}

}  // namespace control
