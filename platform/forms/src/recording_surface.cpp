#include "forms/surface.h"
#include "text_width.h"

namespace forms {

RecordingSurface::RecordingSurface(double width, double height, Metrics metrics)
    : width_(width), height_(height), m_(metrics) {}

void RecordingSurface::cls() {
    ops_.push_back({DrawOp::Clear, 0, 0, 0, 0, 0, {}});
    currentX_ = currentY_ = 0;
}

void RecordingSurface::line(double x1, double y1, double x2, double y2, Colour c) {
    ops_.push_back({DrawOp::Line, x1, y1, x2, y2, c, {}});
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingSurface::box(double x1, double y1, double x2, double y2, Colour c) {
    ops_.push_back({DrawOp::Box, x1, y1, x2, y2, c, {}});
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingSurface::fillBox(double x1, double y1, double x2, double y2, Colour c) {
    ops_.push_back({DrawOp::Fill, x1, y1, x2, y2, c, {}});
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingSurface::pset(double x, double y, Colour c) {
    ops_.push_back({DrawOp::Point, x, y, x, y, c, {}});
    currentX_ = x;
    currentY_ = y;
}

double RecordingSurface::textWidth(std::string_view text) const { return detail::displayCells(text) * m_.charWidth; }

double RecordingSurface::textHeight(std::string_view) const { return m_.charHeight; }

void RecordingSurface::print(std::string_view text) {
    ops_.push_back({DrawOp::Text, currentX_, currentY_, currentX_ + textWidth(text), currentY_ + m_.charHeight, 0,
                    std::string(text)});
    currentX_ = 0;
    currentY_ += m_.charHeight;
}

void RecordingSurface::setVisible(bool visible) {
    visible_ = visible;
    visibilityChanges_.push_back(visible);
}

}  // namespace forms
