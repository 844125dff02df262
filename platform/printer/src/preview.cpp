#include "printer/preview.h"

#include <QPaintEvent>
#include <algorithm>
#include <cmath>

#include "forms/services.h"

namespace printer {

PreviewPicture::PreviewPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resizeImage(1, 1);
}

PreviewPicture::~PreviewPicture() = default;

double PreviewPicture::dpiX() const { return 1440.0 / forms::twipsPerPixelX(); }
double PreviewPicture::dpiY() const { return 1440.0 / forms::twipsPerPixelY(); }

double PreviewPicture::width() const { return static_cast<double>(image_.width()) * forms::twipsPerPixelX(); }
double PreviewPicture::height() const { return static_cast<double>(image_.height()) * forms::twipsPerPixelY(); }

void PreviewPicture::resizeImage(int w, int h) {
    painter_.reset();
    image_ = QImage(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    image_.setDotsPerMeterX(static_cast<int>(std::lround(dpiX() / 0.0254)));
    image_.setDotsPerMeterY(static_cast<int>(std::lround(dpiY() / 0.0254)));
    image_.fill(Qt::white);
    QWidget::resize(image_.size());
    update();
}

void PreviewPicture::setWidth(double twips) {
    resizeImage(static_cast<int>(std::lround(twips / forms::twipsPerPixelX())), image_.height());
}

void PreviewPicture::setHeight(double twips) {
    resizeImage(image_.width(), static_cast<int>(std::lround(twips / forms::twipsPerPixelY())));
}

QPaintDevice* PreviewPicture::metricsDevice() const { return const_cast<QImage*>(&image_); }

QPainter& PreviewPicture::painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::TextAntialiasing);
    }
    return *painter_;
}

void PreviewPicture::painted() {
    painter_.reset();  // the image is complete after each operation
    update();
}

void PreviewPicture::clearDevice() {
    painter_.reset();
    image_.fill(Qt::white);
    update();
}

void PreviewPicture::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.drawImage(e->rect().topLeft(), image_, e->rect());
}

}  // namespace printer
