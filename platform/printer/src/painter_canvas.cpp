#include "printer/painter_canvas.h"

#include <QFontMetricsF>
#include <QPen>
#include <cmath>

#include "forms/colour.h"
#include "forms/fonts.h"

namespace printer {
namespace {
QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
}  // namespace

QFont PainterCanvas::deviceFont() const { return forms::makeFont(fontName(), fontSize(), fontBold()); }

QPointF PainterCanvas::toDevice(double x, double y) const { return {x * dpiX() / 1440.0, y * dpiY() / 1440.0}; }

int PainterCanvas::twipsPerPixelX() const { return static_cast<int>(std::lround(twipsPerDotX())); }
int PainterCanvas::twipsPerPixelY() const { return static_cast<int>(std::lround(twipsPerDotY())); }

void PainterCanvas::strokeWith(QPainter& p, forms::Colour c) const {
    QPen pen(forms::toQColor(c));
    pen.setWidthF(drawWidth());
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
}

void PainterCanvas::cls() {
    clearDevice();
    currentX_ = currentY_ = 0;
}

void PainterCanvas::line(double x1, double y1, double x2, double y2, forms::Colour c) {
    QPainter& p = painter();
    strokeWith(p, c);
    const QPointF a = toDevice(x1, y1), b = toDevice(x2, y2);
    if (a == b)
        p.drawPoint(a);
    else
        p.drawLine(a, b);
    currentX_ = x2;
    currentY_ = y2;
    painted();
}

void PainterCanvas::box(double x1, double y1, double x2, double y2, forms::Colour c) {
    QPainter& p = painter();
    if (fillStyle() == kFillSolid) p.fillRect(QRectF(toDevice(x1, y1), toDevice(x2, y2)).normalized(), Qt::black);
    strokeWith(p, c);
    p.drawRect(QRectF(toDevice(x1, y1), toDevice(x2, y2)).normalized());
    currentX_ = x2;
    currentY_ = y2;
    painted();
}

void PainterCanvas::fillBox(double x1, double y1, double x2, double y2, forms::Colour c) {
    QPainter& p = painter();
    p.fillRect(QRectF(toDevice(x1, y1), toDevice(x2, y2)).normalized(), forms::toQColor(c));
    currentX_ = x2;
    currentY_ = y2;
    painted();
}

void PainterCanvas::pset(double x, double y, forms::Colour c) {
    QPainter& p = painter();
    strokeWith(p, c);
    p.drawPoint(toDevice(x, y));
    currentX_ = x;
    currentY_ = y;
    painted();
}

double PainterCanvas::textWidth(std::string_view text) const {
    QPaintDevice* device = metricsDevice();
    const QFontMetricsF m(deviceFont(), device);
    return m.horizontalAdvance(qs(text)) * 1440.0 / device->logicalDpiX();
}

double PainterCanvas::textHeight(std::string_view) const {
    QPaintDevice* device = metricsDevice();
    const QFontMetricsF m(deviceFont(), device);
    return m.height() * 1440.0 / device->logicalDpiY();
}

void PainterCanvas::print(std::string_view text) {
    QPainter& p = painter();
    const QFont font = deviceFont();
    p.setFont(font);
    const QFontMetricsF m(font, p.device());
    const QPointF at = toDevice(currentX_, currentY_);
    const QString s = qs(text);
    if (!fontTransparent()) p.fillRect(QRectF(at, QSizeF(m.horizontalAdvance(s), m.height())), Qt::white);
    p.setPen(forms::toQColor(foreColor()));
    p.drawText(QPointF(at.x(), at.y() + m.ascent()), s);
    currentX_ = 0;
    currentY_ += m.height() * 1440.0 / p.device()->logicalDpiY();
    painted();
}

}  // namespace printer
