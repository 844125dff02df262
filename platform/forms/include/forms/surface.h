#pragma once
// A drawing surface measured in twips, with the operations a picture box offers: lines
// that leave out their end point, outlined and filled boxes, points, text measurement and
// output at a current position that drawing moves.
//
// PictureBox draws on a persistent image shown by a widget. RecordingSurface keeps a list
// of what was drawn, with fixed text metrics, so that drawing code is tested on the
// operations it made rather than on pixels.
#include <string>
#include <string_view>
#include <vector>

#include <QImage>
#include <QWidget>

#include "forms/colour.h"

namespace forms {

class Surface {
public:
    virtual ~Surface() = default;

    // Twips per pixel of the screen the surface shows on (15 at 96 dots per inch).
    virtual int twipsPerPixelX() const = 0;
    virtual int twipsPerPixelY() const = 0;
    // The inner size in twips.
    virtual double scaleWidth() const = 0;
    virtual double scaleHeight() const = 0;

    // Clears to the back colour; the current position returns to (0, 0).
    virtual void cls() = 0;
    // A line from (x1, y1) up to, but not including, (x2, y2). The current position
    // becomes (x2, y2).
    virtual void line(double x1, double y1, double x2, double y2, Colour c) = 0;
    // The outline of the box with corners (x1, y1) and (x2, y2), both included.
    virtual void box(double x1, double y1, double x2, double y2, Colour c) = 0;
    // The box with corners (x1, y1) and (x2, y2), both included, filled with c.
    virtual void fillBox(double x1, double y1, double x2, double y2, Colour c) = 0;
    // One point.
    virtual void pset(double x, double y, Colour c) = 0;

    virtual double textWidth(std::string_view text) const = 0;
    virtual double textHeight(std::string_view text) const = 0;
    double currentX() const { return currentX_; }
    double currentY() const { return currentY_; }
    void setCurrentX(double x) { currentX_ = x; }
    void setCurrentY(double y) { currentY_ = y; }
    // Writes the text with its top left at the current position, then moves to the start
    // of the next line, as Print does.
    virtual void print(std::string_view text) = 0;

    // The control the surface belongs to.
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    // Persistent drawing: the picture survives repaints.
    virtual void setAutoRedraw(bool on) = 0;
    virtual void setBorderStyle(int style) = 0;

protected:
    double currentX_ = 0;
    double currentY_ = 0;
};

// One drawing operation as it was asked for, in twips.
struct DrawOp {
    enum Kind { Clear, Line, Box, Fill, Point, Text };
    Kind kind;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Colour colour = 0;
    std::string text;
};

class RecordingSurface : public Surface {
public:
    struct Metrics {
        int twipsPerPixelX = 15;
        int twipsPerPixelY = 15;
        double charWidth = 90;   // a half-width character; a full-width one is twice as wide
        double charHeight = 180;
    };
    RecordingSurface(double width, double height) : RecordingSurface(width, height, Metrics{}) {}
    RecordingSurface(double width, double height, Metrics metrics);

    int twipsPerPixelX() const override { return m_.twipsPerPixelX; }
    int twipsPerPixelY() const override { return m_.twipsPerPixelY; }
    double scaleWidth() const override { return width_; }
    double scaleHeight() const override { return height_; }
    void cls() override;
    void line(double x1, double y1, double x2, double y2, Colour c) override;
    void box(double x1, double y1, double x2, double y2, Colour c) override;
    void fillBox(double x1, double y1, double x2, double y2, Colour c) override;
    void pset(double x, double y, Colour c) override;
    double textWidth(std::string_view text) const override;
    double textHeight(std::string_view text) const override;
    void print(std::string_view text) override;
    void setVisible(bool visible) override;
    bool isVisible() const override { return visible_; }
    void setAutoRedraw(bool on) override { autoRedraw_ = on; }
    void setBorderStyle(int style) override { borderStyle_ = style; }

    bool autoRedraw() const { return autoRedraw_; }
    int borderStyle() const { return borderStyle_; }
    const std::vector<DrawOp>& ops() const { return ops_; }
    // Every visibility the surface went through, in order.
    const std::vector<bool>& visibilityChanges() const { return visibilityChanges_; }
    void clearOps() { ops_.clear(); }

private:
    double width_, height_;
    Metrics m_;
    bool visible_ = true;
    bool autoRedraw_ = false;
    int borderStyle_ = 1;
    std::vector<DrawOp> ops_;
    std::vector<bool> visibilityChanges_;
};

// A picture box: a widget whose picture lives in a persistent image, drawn in twips.
class PictureBox : public QWidget, public Surface {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    int twipsPerPixelX() const override;
    int twipsPerPixelY() const override;
    double scaleWidth() const override;
    double scaleHeight() const override;
    void cls() override;
    void line(double x1, double y1, double x2, double y2, Colour c) override;
    void box(double x1, double y1, double x2, double y2, Colour c) override;
    void fillBox(double x1, double y1, double x2, double y2, Colour c) override;
    void pset(double x, double y, Colour c) override;
    double textWidth(std::string_view text) const override;
    double textHeight(std::string_view text) const override;
    void print(std::string_view text) override;
    void setVisible(bool visible) override { QWidget::setVisible(visible); }
    bool isVisible() const override { return QWidget::isVisible(); }
    void setAutoRedraw(bool on) override { autoRedraw_ = on; }
    void setBorderStyle(int style) override;

    void setBackColor(Colour c);
    Colour backColor() const { return back_; }
    void setForeColor(Colour c) { fore_ = c; }
    // The picture as it stands, one image pixel per screen pixel.
    const QImage& image() const { return image_; }

signals:
    // Mouse events in twips, with the button and Shift/Ctrl/Alt state as the program reads them.
    void mouseDown(int button, int shift, double x, double y);
    void mouseMove(int button, int shift, double x, double y);
    void mouseUp(int button, int shift, double x, double y);
    void dblClick();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;

private:
    QPoint toPixels(double x, double y) const;
    void setPixel(int x, int y, const QColor& c);
    void ensureImage();
    QImage image_;
    Colour back_ = vbButtonFace;
    Colour fore_ = vbButtonText;
    bool autoRedraw_ = false;
    int borderStyle_ = 1;
};

}  // namespace forms
