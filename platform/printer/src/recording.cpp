#include "printer/recording.h"

#include <utility>

#include "text/text.h"

namespace printer {

RecordingCanvas::RecordingCanvas(double width, double height, int twipsPerPixel)
    : width_(width), height_(height), twipsPerPixel_(twipsPerPixel) {}

void RecordingCanvas::record(CanvasOp::Kind kind, double x1, double y1, double x2, double y2, forms::Colour c,
                             std::string_view text) {
    CanvasOp op;
    op.kind = kind;
    op.x1 = x1;
    op.y1 = y1;
    op.x2 = x2;
    op.y2 = y2;
    op.colour = c;
    op.text = std::string(text);
    op.fontName = fontName();
    op.fontSize = fontSize();
    op.fontBold = fontBold();
    op.drawWidth = drawWidth();
    op.page = page_;
    ops_.push_back(std::move(op));
}

void RecordingCanvas::cls() {
    record(CanvasOp::Clear);
    currentX_ = currentY_ = 0;
}

void RecordingCanvas::line(double x1, double y1, double x2, double y2, forms::Colour c) {
    record(CanvasOp::Line, x1, y1, x2, y2, c);
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingCanvas::box(double x1, double y1, double x2, double y2, forms::Colour c) {
    record(CanvasOp::Box, x1, y1, x2, y2, c);
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingCanvas::fillBox(double x1, double y1, double x2, double y2, forms::Colour c) {
    record(CanvasOp::Fill, x1, y1, x2, y2, c);
    currentX_ = x2;
    currentY_ = y2;
}

void RecordingCanvas::pset(double x, double y, forms::Colour c) {
    record(CanvasOp::Point, x, y, x, y, c);
    currentX_ = x;
    currentY_ = y;
}

double RecordingCanvas::textWidth(std::string_view text) const { return text::lenB(text) * fontSize() * 10; }

double RecordingCanvas::textHeight(std::string_view) const { return fontSize() * 20; }

void RecordingCanvas::print(std::string_view text) {
    record(CanvasOp::Text, currentX_, currentY_, currentX_ + textWidth(text), currentY_ + textHeight(text), foreColor(),
           text);
    currentX_ = 0;
    currentY_ += textHeight(text);
}

void RecordingCanvas::newPage() {
    record(CanvasOp::NewPage);
    ++page_;
    currentX_ = currentY_ = 0;
}

std::vector<CanvasOp> RecordingCanvas::ops(CanvasOp::Kind kind) const {
    std::vector<CanvasOp> out;
    for (const auto& op : ops_)
        if (op.kind == kind) out.push_back(op);
    return out;
}

std::vector<std::string> RecordingCanvas::texts(int page) const {
    std::vector<std::string> out;
    for (const auto& op : ops_)
        if (op.kind == CanvasOp::Text && (page == 0 || op.page == page)) out.push_back(op.text);
    return out;
}

const CanvasOp* RecordingCanvas::findText(std::string_view text) const {
    for (const auto& op : ops_)
        if (op.kind == CanvasOp::Text && op.text == text) return &op;
    return nullptr;
}

}  // namespace printer
