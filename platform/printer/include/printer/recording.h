#pragma once
// A canvas that keeps what was drawn on it, page by page, with fixed text metrics: a
// half-width character (one byte of its Shift-JIS form) is 10 twips wide per point of
// the font size and a line is 20 twips high per point. Report code is tested on the
// operations it made rather than on pixels.
#include <string>
#include <vector>

#include "printer/canvas.h"

namespace printer {

struct CanvasOp {
    enum Kind { Clear, Line, Box, Fill, Point, Text, NewPage };
    Kind kind;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    forms::Colour colour = 0;
    std::string text;
    std::string fontName;
    double fontSize = 0;
    bool fontBold = false;
    int drawWidth = 1;
    int page = 1;
};

class RecordingCanvas : public Canvas {
public:
    RecordingCanvas(double width, double height, int twipsPerPixel = 15);

    double width() const override { return width_; }
    double height() const override { return height_; }
    void setWidth(double twips) override { width_ = twips; }
    void setHeight(double twips) override { height_ = twips; }
    int twipsPerPixelX() const override { return twipsPerPixel_; }
    int twipsPerPixelY() const override { return twipsPerPixel_; }
    double scaleWidth() const override { return width_; }
    double scaleHeight() const override { return height_; }

    void cls() override;
    void line(double x1, double y1, double x2, double y2, forms::Colour c) override;
    void box(double x1, double y1, double x2, double y2, forms::Colour c) override;
    void fillBox(double x1, double y1, double x2, double y2, forms::Colour c) override;
    void pset(double x, double y, forms::Colour c) override;
    double textWidth(std::string_view text) const override;
    double textHeight(std::string_view text) const override;
    void print(std::string_view text) override;
    void newPage() override;

    const std::vector<CanvasOp>& ops() const { return ops_; }
    void clearOps() { ops_.clear(); page_ = 1; }
    int page() const { return page_; }
    // The operations of one kind, in order.
    std::vector<CanvasOp> ops(CanvasOp::Kind kind) const;
    // The texts printed, in order (of one page when page > 0).
    std::vector<std::string> texts(int page = 0) const;
    // The first text op whose text is exactly `text`; nullptr when none.
    const CanvasOp* findText(std::string_view text) const;

private:
    void record(CanvasOp::Kind kind, double x1 = 0, double y1 = 0, double x2 = 0, double y2 = 0, forms::Colour c = 0,
                std::string_view text = {});
    double width_, height_;
    int twipsPerPixel_;
    int page_ = 1;
    std::vector<CanvasOp> ops_;
};

}  // namespace printer
