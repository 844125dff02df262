#include "printer/canvas.h"

#include <utility>

namespace printer {

void Canvas::setFontName(std::string name) {
    fontName_ = std::move(name);
    fontChanged();
}

void Canvas::setFontSize(double points) {
    fontSize_ = points;
    fontChanged();
}

void Canvas::setFontBold(bool bold) {
    fontBold_ = bold;
    fontChanged();
}

}  // namespace printer
