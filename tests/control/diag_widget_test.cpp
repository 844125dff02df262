// The control's diagnostic window: handed to the container that places it, driven by the
// timers, and drawn as the control's face: icon, the timers' squares, the kept status, the
// shown mode and the progress, each in its own place.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <memory>

#include "com/qt_site.h"
#include "com/registry.h"
#include "control/face.h"
#include "control/state.h"
#include "diag_widget.h"

namespace control_test {
namespace {

using namespace control;

QImage render(DiagWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

bool isWhite(QRgb c) { return qRed(c) > 240 && qGreen(c) > 240 && qBlue(c) > 240; }
bool isDark(QRgb c) { return qGray(c) < 128; }

// The rectangle that holds every pixel that differs between two renderings (empty when none).
QRect changed(const QImage& a, const QImage& b) {
    QRect r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) r |= QRect(x, y, 1, 1);
    return r;
}

// The leftmost dark column of the band of rows [top, top + 14) right of the squares.
int firstDarkColumn(const QImage& image, int top) {
    for (int x = 33; x < image.width(); ++x)
        for (int y = top; y < top + 14; ++y)
            if (isDark(image.pixel(x, y))) return x;
    return image.width();
}

struct Square {
    const char* name;
    QPoint inside;
    QColor lit;
};
const Square kMode{"mode timer", {5, 37}, Qt::blue};
const Square kPoll{"card poll", {27, 37}, Qt::red};

TEST(DiagWidgetDrawing, SquaresLightWhileTheirTimerWorks) {
    DiagWidget w;
    ASSERT_EQ(w.size(), QSize(112, 42));
    struct Case {
        const char* state;
        std::function<void()> step;
        bool modeLit, pollLit;
    };
    const Case cases[] = {
        {"at rest", [] {}, false, false},
        {"mode tick", [&] { w.setModeTick(true, 0, 0, 0); }, true, false},
        {"and a poll", [&] { w.setPollTick(true, 101); }, true, true},
        {"mode tick over", [&] { w.setModeTick(false, 0, 0, 0); }, true, true},  // still blinking
        {"blink over", [&] { w.settle(); }, false, true},                          // the poll still works
        {"poll over", [&] { w.setPollTick(false, 0); }, false, false},
    };
    for (const auto& c : cases) {
        c.step();
        const QImage image = render(w);
        for (const auto& [square, lit] : {std::pair{kMode, c.modeLit}, std::pair{kPoll, c.pollLit}}) {
            const QRgb pixel = image.pixel(square.inside);
            if (lit)
                EXPECT_EQ(QColor(pixel).name().toStdString(), square.lit.name().toStdString())
                    << c.state << ": " << square.name;
            else
                EXPECT_TRUE(isWhite(pixel)) << c.state << ": " << square.name;
        }
        // A raised edge: light at the top left, shaded at the bottom right.
        EXPECT_TRUE(isWhite(image.pixel(5, 32))) << c.state;
        EXPECT_FALSE(isWhite(image.pixel(5, 41))) << c.state;
        EXPECT_FALSE(isWhite(image.pixel(31, 37))) << c.state;
    }
    EXPECT_TRUE(render(w).save(QStringLiteral("diag_widget_rest.png")));
}

// Each figure is written in its own line right of the icon, and nothing else moves.
TEST(DiagWidgetDrawing, FiguresStayInTheirLines) {
    DiagWidget w;
    w.setModeTick(false, 0, 0, 0);
    w.setPollTick(false, 101);
    w.settle();
    const QImage before = render(w);
    int icon = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) icon += isWhite(before.pixel(x, y)) ? 0 : 1;
    EXPECT_GT(icon, 100) << "the icon at the top left";
    EXPECT_TRUE(isWhite(before.pixel(34, 20))) << "a white fill between icon and text";

    struct Case {
        const char* figure;
        std::function<void()> change;
        int top;
    };
    const Case cases[] = {
        {"kept status", [&] { w.setPollTick(false, 0); }, 0},
        {"shown mode", [&] { w.setModeTick(false, 4, 0, 0); }, 14},
        {"progress", [&] { w.setModeTick(false, 4, 1500, 4096); }, 28},
    };
    QImage last = before;
    for (const auto& c : cases) {
        c.change();
        w.settle();
        const QImage now = render(w);
        const QRect r = changed(last, now);
        ASSERT_FALSE(r.isEmpty()) << c.figure;
        EXPECT_GE(r.left(), 35) << c.figure;
        EXPECT_GE(r.top(), c.top) << c.figure;
        EXPECT_LT(r.bottom(), c.top + 14) << c.figure;
        last = now;
    }
    EXPECT_TRUE(last.save(QStringLiteral("diag_widget_playing.png")));

    // The numbers are right-aligned in six places: a longer position reaches further left.
    w.setModeTick(false, 4, 123456, 654321);
    w.settle();
    EXPECT_LT(firstDarkColumn(render(w), 28), firstDarkColumn(last, 28));
}

struct Site : com::HostSite {
    bool setTimer(unsigned, unsigned) override { return true; }
    void killTimer(unsigned) override {}
    void pumpMessages() override {}
};

// The container takes the control's window from the control the registry creates, places
// it, and sees the timers' figures in it; the window goes with the control.
TEST(ControlWindow, ContainerPlacesTheControlsWindow) {
    com::setLibraryFolder(KV_CONTROL_LIBRARY_DIR);
    com::registerLibraryClass("Card_KVM58", KV_CONTROL_LIBRARY_FILE);
    std::unique_ptr<com::Control> control;
    ASSERT_EQ(com::createInstance("Card_KVM58", control), com::Ok);
    Site site;
    control->setSite(&site);
    setActionMode(ModeWrite);
    setProgress(3, 10);
    control->onTimer(kModeTimer);  // the mode changes before the window exists
    control->onTimer(kModeTimer);

    com::QtWindowed* windowed = com::qtWindowed(*control);
    ASSERT_NE(windowed, nullptr);
    QWidget page;
    QWidget* window = windowed->createWindow(&page);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), &page);
    EXPECT_EQ(window->size(), QSize(112, 42));
    EXPECT_EQ(windowed->createWindow(&page), window) << "one window per control";
    auto* diag = dynamic_cast<DiagWidget*>(window);
    ASSERT_NE(diag, nullptr);
    diag->settle();

    DiagWidget expected;
    expected.setModeTick(false, ModeWrite, 3, 10);
    expected.setPollTick(false, 101);
    expected.settle();
    EXPECT_EQ(render(*diag), render(expected)) << "the figures of the ticks before it was placed";

    setActionMode(ModeStandby);
    control->onTimer(kModeTimer);
    diag->settle();
    expected.setModeTick(false, ModeStandby, 0, 0);
    expected.settle();
    EXPECT_EQ(render(*diag), render(expected)) << "a tick after it was placed";

    control.reset();
    EXPECT_TRUE(page.findChildren<QWidget*>().isEmpty()) << "the window went with the control";
}

TEST(ControlWindow, PageClosedBeforeTheControl) {
    com::setLibraryFolder(KV_CONTROL_LIBRARY_DIR);
    com::registerLibraryClass("Card_KVM58", KV_CONTROL_LIBRARY_FILE);
    std::unique_ptr<com::Control> control;
    ASSERT_EQ(com::createInstance("Card_KVM58", control), com::Ok);
    Site site;
    control->setSite(&site);
    auto page = std::make_unique<QWidget>();
    ASSERT_NE(com::qtWindowed(*control)->createWindow(page.get()), nullptr);
    page.reset();
    control->onTimer(kModeTimer);  // draws into nothing
    auto other = std::make_unique<QWidget>();
    EXPECT_NE(com::qtWindowed(*control)->createWindow(other.get()), nullptr) << "a new window";
    control.reset();
}

}  // namespace
}  // namespace control_test
