#pragma once
// The output object of the reports: a drawing surface in twips with the font, fill and
// line-width properties the printer and a picture box share. The report code draws on a
// Canvas and runs unchanged on the printer, on the preview picture and on a recording.
#include <string>
#include <string_view>

#include "forms/surface.h"

namespace printer {

inline constexpr int kScaleTwips = 1;
inline constexpr int kFillSolid = 0;
inline constexpr int kFillTransparent = 1;

class Canvas : public forms::Surface {
public:
    // Font of the text drawn and measured from now on.
    void setFontName(std::string name);
    const std::string& fontName() const { return fontName_; }
    void setFontSize(double points);
    double fontSize() const { return fontSize_; }
    void setFontBold(bool bold);
    bool fontBold() const { return fontBold_; }
    // False paints the text's background in white, as an opaque font does.
    void setFontTransparent(bool on) { fontTransparent_ = on; }
    bool fontTransparent() const { return fontTransparent_; }
    void setFillStyle(int style) { fillStyle_ = style; }
    int fillStyle() const { return fillStyle_; }
    // Line width in device pixels; below 1 counts as 1.
    void setDrawWidth(int pixels) { drawWidth_ = pixels < 1 ? 1 : pixels; }
    int drawWidth() const { return drawWidth_; }
    void setForeColor(forms::Colour c) { foreColor_ = c; }
    forms::Colour foreColor() const { return foreColor_; }
    // Only twips are drawn in; the mode is kept for those who read it back.
    void setScaleMode(int mode) { scaleMode_ = mode; }
    int scaleMode() const { return scaleMode_; }

    // The size of the whole object in twips (the paper, or the picture).
    virtual double width() const = 0;
    virtual double height() const = 0;
    // Resizes the object: a picture to that many twips, the printer's paper to a
    // user-defined size.
    virtual void setWidth(double twips) = 0;
    virtual void setHeight(double twips) = 0;
    // Ends the page and starts the next one; a picture has only one page.
    virtual void newPage() {}

    void setVisible(bool visible) override { visible_ = visible; }
    bool isVisible() const override { return visible_; }
    void setAutoRedraw(bool on) override { autoRedraw_ = on; }
    bool autoRedraw() const { return autoRedraw_; }
    void setBorderStyle(int style) override { borderStyle_ = style; }

protected:
    // Called after a font property changed.
    virtual void fontChanged() {}

private:
    std::string fontName_ = "ＭＳ ゴシック";
    double fontSize_ = 9;
    bool fontBold_ = false;
    bool fontTransparent_ = true;
    int fillStyle_ = kFillTransparent;
    int drawWidth_ = 1;
    forms::Colour foreColor_ = forms::vbBlack;
    int scaleMode_ = kScaleTwips;
    bool visible_ = true;
    bool autoRedraw_ = false;
    int borderStyle_ = 0;
};

}  // namespace printer
