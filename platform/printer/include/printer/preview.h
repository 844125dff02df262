#pragma once
// The preview picture: a widget that shows one page drawn in twips at the screen's
// resolution. Its size in twips is the page's; the drawing is kept in an image.
#include <memory>

#include <QImage>
#include <QWidget>

#include "printer/painter_canvas.h"

namespace printer {

class PreviewPicture : public QWidget, public PainterCanvas {
    Q_OBJECT
public:
    explicit PreviewPicture(QWidget* parent = nullptr);
    ~PreviewPicture() override;

    double width() const override;
    double height() const override;
    // Resizes the picture to the twips given; the drawing is cleared.
    void setWidth(double twips) override;
    void setHeight(double twips) override;
    double scaleWidth() const override { return width(); }
    double scaleHeight() const override { return height(); }
    void setVisible(bool visible) override { QWidget::setVisible(visible); }
    bool isVisible() const override { return QWidget::isVisible(); }

    const QImage& image() const { return image_; }

protected:
    double dpiX() const override;
    double dpiY() const override;
    QPaintDevice* metricsDevice() const override;
    QPainter& painter() override;
    void painted() override;
    void clearDevice() override;
    void paintEvent(QPaintEvent*) override;

private:
    void resizeImage(int w, int h);
    QImage image_;
    std::unique_ptr<QPainter> painter_;
};

}  // namespace printer
