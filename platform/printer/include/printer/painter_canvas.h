#pragma once
// A canvas that paints with QPainter on a paint device of a given resolution: the
// printer's page and the preview picture share it.
#include <QFont>
#include <QPainter>

#include "printer/canvas.h"

namespace printer {

class PainterCanvas : public Canvas {
public:
    void cls() override;
    void line(double x1, double y1, double x2, double y2, forms::Colour c) override;
    void box(double x1, double y1, double x2, double y2, forms::Colour c) override;
    void fillBox(double x1, double y1, double x2, double y2, forms::Colour c) override;
    void pset(double x, double y, forms::Colour c) override;
    double textWidth(std::string_view text) const override;
    double textHeight(std::string_view text) const override;
    void print(std::string_view text) override;
    int twipsPerPixelX() const override;
    int twipsPerPixelY() const override;

    // Twips per device pixel, unrounded (2.4 at 600 dots per inch).
    double twipsPerDotX() const { return 1440.0 / dpiX(); }
    double twipsPerDotY() const { return 1440.0 / dpiY(); }

protected:
    virtual double dpiX() const = 0;
    virtual double dpiY() const = 0;
    // The device the fonts are measured for.
    virtual QPaintDevice* metricsDevice() const = 0;
    // The painter to draw with; its origin is the canvas' (0, 0).
    virtual QPainter& painter() = 0;
    // Called after each drawing operation.
    virtual void painted() {}
    // Fills the whole canvas with white.
    virtual void clearDevice() = 0;

    QFont deviceFont() const;
    QPointF toDevice(double x, double y) const;

private:
    void strokeWith(QPainter& p, forms::Colour c) const;
};

}  // namespace printer
