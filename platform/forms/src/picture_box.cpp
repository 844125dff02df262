#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "forms/services.h"
#include "forms/surface.h"

namespace forms {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

int PictureBox::twipsPerPixelX() const { return forms::twipsPerPixelX(); }
int PictureBox::twipsPerPixelY() const { return forms::twipsPerPixelY(); }
double PictureBox::scaleWidth() const { return static_cast<double>(width()) * twipsPerPixelX(); }
double PictureBox::scaleHeight() const { return static_cast<double>(height()) * twipsPerPixelY(); }

QPoint PictureBox::toPixels(double x, double y) const {
    return {static_cast<int>(std::floor(x / twipsPerPixelX() + 0.5)),
            static_cast<int>(std::floor(y / twipsPerPixelY() + 0.5))};
}

void PictureBox::ensureImage() {
    if (image_.size() == size() && !image_.isNull()) return;
    QImage grown(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    grown.fill(toQColor(back_));
    if (!image_.isNull()) {
        QPainter p(&grown);
        p.drawImage(0, 0, image_);
    }
    image_ = std::move(grown);
}

void PictureBox::setPixel(int x, int y, const QColor& c) {
    if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height()) image_.setPixel(x, y, c.rgb());
}

void PictureBox::cls() {
    ensureImage();
    image_.fill(toQColor(back_));
    currentX_ = currentY_ = 0;
    update();
}

void PictureBox::line(double x1, double y1, double x2, double y2, Colour c) {
    ensureImage();
    const QPoint a = toPixels(x1, y1), b = toPixels(x2, y2);
    const QColor colour = toQColor(c);
    // Bresenham, stopping one step short of the end point as the platform's lines do.
    int x = a.x(), y = a.y();
    const int dx = std::abs(b.x() - x), sx = x < b.x() ? 1 : -1;
    const int dy = -std::abs(b.y() - y), sy = y < b.y() ? 1 : -1;
    int err = dx + dy;
    while (x != b.x() || y != b.y()) {
        setPixel(x, y, colour);
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += sx; }
        if (e2 <= dx) { err += dx; y += sy; }
    }
    currentX_ = x2;
    currentY_ = y2;
    update();
}

void PictureBox::box(double x1, double y1, double x2, double y2, Colour c) {
    ensureImage();
    const QRect r = QRect(toPixels(x1, y1), toPixels(x2, y2)).normalized();
    const QColor colour = toQColor(c);
    for (int x = r.left(); x <= r.right(); ++x) {
        setPixel(x, r.top(), colour);
        setPixel(x, r.bottom(), colour);
    }
    for (int y = r.top(); y <= r.bottom(); ++y) {
        setPixel(r.left(), y, colour);
        setPixel(r.right(), y, colour);
    }
    currentX_ = x2;
    currentY_ = y2;
    update();
}

void PictureBox::fillBox(double x1, double y1, double x2, double y2, Colour c) {
    ensureImage();
    const QRect r = QRect(toPixels(x1, y1), toPixels(x2, y2)).normalized();
    QPainter p(&image_);
    p.fillRect(r, toQColor(c));
    currentX_ = x2;
    currentY_ = y2;
    update();
}

void PictureBox::pset(double x, double y, Colour c) {
    ensureImage();
    const QPoint pt = toPixels(x, y);
    setPixel(pt.x(), pt.y(), toQColor(c));
    currentX_ = x;
    currentY_ = y;
    update();
}

double PictureBox::textWidth(std::string_view text) const {
    return static_cast<double>(fontMetrics().horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())))) *
           twipsPerPixelX();
}

double PictureBox::textHeight(std::string_view) const {
    return static_cast<double>(fontMetrics().height()) * twipsPerPixelY();
}

void PictureBox::print(std::string_view text) {
    ensureImage();
    const QPoint at = toPixels(currentX_, currentY_);
    {
        QPainter p(&image_);
        p.setFont(font());
        p.setPen(toQColor(fore_));
        p.drawText(QRect(at, QSize(image_.width() + 1000, fontMetrics().height())), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    }
    currentX_ = 0;
    currentY_ += textHeight(text);
    update();
}

void PictureBox::setBorderStyle(int style) {
    borderStyle_ = style;
    update();
}

void PictureBox::setBackColor(Colour c) {
    back_ = c;
    cls();
}

void PictureBox::paintEvent(QPaintEvent*) {
    ensureImage();
    QPainter p(this);
    p.drawImage(0, 0, image_);
    if (borderStyle_ != 0) {
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void PictureBox::resizeEvent(QResizeEvent*) { ensureImage(); }

void PictureBox::mousePressEvent(QMouseEvent* e) {
    emit mouseDown(buttonOf(e->button()), shiftOf(e->modifiers()), e->position().x() * twipsPerPixelX(),
                   e->position().y() * twipsPerPixelY());
}

void PictureBox::mouseMoveEvent(QMouseEvent* e) {
    emit mouseMove(buttonOf(e->buttons()), shiftOf(e->modifiers()), e->position().x() * twipsPerPixelX(),
                   e->position().y() * twipsPerPixelY());
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    emit mouseUp(buttonOf(e->button()), shiftOf(e->modifiers()), e->position().x() * twipsPerPixelX(),
                 e->position().y() * twipsPerPixelY());
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent*) { emit dblClick(); }

}  // namespace forms
