// The time chart of a day pattern and the 3D frames.
#include "core/timechart.h"

#include <string>

#include "core/strings.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "runtime/numeric.h"

namespace {

using forms::Colour;
using forms::Surface;

constexpr int kDayMinutes = 1440;

// Assignment to a Long rounds half to even.
std::int32_t toLong(double v) { return runtime::clng(v); }

// The measurements both chart routines take, in this order.
struct Metrics {
    double tx, ty;
    double H, W;  // usable height (rounded) and width
    double th;    // height of "0"
    double tw;    // width of "00:00"
    bool vertical() const { return W < H; }
};

Metrics measure(const Surface& pic) {
    Metrics m{};
    m.tx = pic.twipsPerPixelX();
    m.ty = pic.twipsPerPixelY();
    m.H = toLong(pic.scaleHeight() - 5 * m.ty);
    m.W = pic.scaleWidth();
    m.th = pic.textHeight("0");
    m.tw = pic.textWidth("00:00");
    return m;
}

// The placement of the bar, spans and labels in one of the two layouts.
class Layout {
public:
    Layout(Surface& pic, const Metrics& m) : pic_(pic), m_(m) {
        const std::string label1 = gfnsGetChannelStr(1, false);
        if (m.vertical()) {
            L_ = m.tw + 100;
            s_ = (m.H - m.th) / kDayMinutes;
            xa_ = 2 * m.tx;
            xb_ = m.W - L_ - 2 * m.tx;
            cx_ = (m.W - L_) / 2 - pic.textWidth(label1) / 2;
        } else {
            T_ = m.th + 100;
            s_ = (m.W - m.tw) / kDayMinutes;
            ya_ = m.th + 200 + 2 * m.tx;  // the bar's offsets use the horizontal pixel size
            yb_ = m.H - 3 * m.tx;
            cy_ = (m.H - T_) / 2 + T_ - pic.textHeight(label1) / 2;
        }
    }

    // The span from minute a to minute b in the colour of channel ch, its boundary at a,
    // and the channel's label in its middle.
    void span(int a, int b, int ch, const std::vector<Colour>& colours) {
        if (ch < 0 || ch >= static_cast<int>(colours.size())) runtime::raise(9);
        const double pa = pos(a), pb = pos(b);
        if (m_.vertical()) {
            pic_.fillBox(xa_, pa, xb_, pb, colours[static_cast<std::size_t>(ch)]);
            pic_.line(xa_, pa, xb_ + m_.tx, pa, forms::vbBlack);
        } else {
            pic_.fillBox(pa, ya_, pb, yb_, colours[static_cast<std::size_t>(ch)]);
            pic_.line(pa, ya_, pa, yb_, forms::vbBlack);
        }
        if (ch == 0) return;
        const std::string label = gfnsGetChannelStr(ch, false);
        if (m_.vertical()) {
            pic_.setCurrentX(cx_);
            pic_.setCurrentY((pa + pb) / 2 - pic_.textHeight(label) / 2);
        } else {
            pic_.setCurrentX((pa + pb) / 2 - pic_.textWidth(label) / 2);
            pic_.setCurrentY(cy_);
        }
        pic_.print(label);
    }

    void frame() {
        FrameRect r;
        if (m_.vertical())
            r = {0, toLong(m_.th / 2), toLong(m_.W - L_), toLong(m_.H - m_.th / 2)};
        else
            r = {toLong(m_.tw / 2), toLong(T_), toLong(m_.W - m_.tw / 2), toLong(m_.H - m_.ty)};
        gsbDrawSunken(pic_, r);
    }

    // A tick every hour, "hh:00" every two hours; where the labels would run into each
    // other (a narrow chart), only every fourth, sixth, eighth or twelfth hour.
    int labelStep() const {
        const double room = m_.vertical() ? m_.th : m_.tw + 100;
        for (int step : {2, 4, 6, 8, 12})
            if (step * 60 * s_ >= room) return step;
        return 24;
    }

    void hourScale() {
        const int step = labelStep();
        for (int i = 0; i <= 24; ++i) {
            const double d = toLong(i * 60 * s_);
            const std::string text = runtime::format(i, "00") + ":00";
            if (m_.vertical()) {
                const double x0 = (m_.W - L_) + m_.tx + 100;
                pic_.line(x0 - 100, m_.th / 2 + d, x0, m_.th / 2 + d, forms::vbBlack);
                if (i % step == 0) {
                    pic_.setCurrentX(x0);
                    pic_.setCurrentY(d);
                    pic_.print(text);
                }
            } else {
                pic_.line(m_.tw / 2 + d, T_ - 100, m_.tw / 2 + d, T_, forms::vbBlack);
                if (i % step == 0) {
                    pic_.setCurrentX(d);
                    pic_.setCurrentY(0);
                    pic_.print(text);
                }
            }
        }
    }

private:
    double pos(int t) const { return toLong(t * s_ + (m_.vertical() ? m_.th : m_.tw) / 2); }

    Surface& pic_;
    const Metrics& m_;
    double L_ = 0, T_ = 0, s_ = 0;
    double xa_ = 0, xb_ = 0, cx_ = 0;
    double ya_ = 0, yb_ = 0, cy_ = 0;
};

void drawFrame(Surface& s, const FrameRect& r, Colour outer, Colour inner, Colour innerEdge, Colour outerEdge) {
    const double p = s.twipsPerPixelX();
    const double L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
    s.box(L, T, R, B, outer);
    s.box(L + p, T + p, R - p, B - p, inner);
    s.line(L + p, B - p, R, B - p, innerEdge);
    s.line(R - p, T + p, R - p, B, innerEdge);
    s.line(R, T, R, B, outerEdge);
    s.line(L, B, R, B, outerEdge);
    s.pset(R, B, outerEdge);
}

}  // namespace

namespace core {

void drawChart(Surface& pic, const std::vector<ChartStep>& steps, const std::vector<Colour>& colours) {
    const Metrics m = measure(pic);
    Layout layout(pic, m);
    int prev = 0, ch = 0;
    for (const ChartStep& step : steps) {
        layout.span(prev, step.minute, ch, colours);
        prev = step.minute;
        ch = step.channel;
    }
    if (prev != kDayMinutes) layout.span(prev, kDayMinutes, ch, colours);
    layout.frame();
    layout.hourScale();
}

}  // namespace core

void gsbGetChartScale(const Surface& pic, std::int16_t iMinute, FrameRect& rect) {
    const Metrics m = measure(pic);
    if (m.vertical()) {
        rect.Left = toLong(2 * m.tx);
        rect.Right = toLong(m.W - (m.tw + 100));
        rect.Top = rect.Bottom = toLong(iMinute * (m.H - m.th) / kDayMinutes + m.th / 2);
    } else {
        rect.Top = toLong(m.th + 100 + 2 * m.tx);
        rect.Bottom = toLong(m.H - 3 * m.tx);
        rect.Left = rect.Right = toLong(iMinute * (m.W - m.tw) / kDayMinutes + m.tw / 2);
    }
}

void gsbDrawSeparator(Surface& s, const FrameRect& r) {
    const double p = s.twipsPerPixelX();
    const Colour colours[] = {forms::vb3DHighlight, forms::vb3DLight, forms::vbButtonShadow, forms::vb3DDKShadow};
    for (int i = 0; i < 4; ++i) s.line(r.Left + i * p, r.Top, r.Left + i * p, r.Bottom, colours[i]);
}

void gsbDrawSunken(Surface& s, const FrameRect& r) {
    drawFrame(s, r, forms::vbButtonShadow, forms::vb3DDKShadow, forms::vb3DLight, forms::vb3DHighlight);
}

void gsbDrawRaised(Surface& s, const FrameRect& r) {
    drawFrame(s, r, forms::vb3DHighlight, forms::vb3DLight, forms::vbButtonShadow, forms::vb3DDKShadow);
}
