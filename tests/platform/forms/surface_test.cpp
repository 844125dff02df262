#include <gtest/gtest.h>

#include <QGuiApplication>

#include "forms/services.h"
#include "forms/surface.h"

using namespace forms;

namespace {
// A picture box of w x h pixels on a white back colour.
struct Picture {
    PictureBox box;
    int tx = twipsPerPixelX(), ty = twipsPerPixelY();
    Picture(int w, int h) {
        box.resize(w, h);
        box.setBackColor(vbWhite);
    }
    QColor at(int x, int y) const { return box.image().pixelColor(x, y); }
    bool inked(int x, int y) const { return at(x, y) != QColor(Qt::white); }
};
}  // namespace

TEST(PictureBox, LinesLeaveOutTheirEndPoint) {
    Picture p(40, 40);
    p.box.line(2 * p.tx, 5 * p.ty, 10 * p.tx, 5 * p.ty, vbBlack);
    EXPECT_TRUE(p.inked(2, 5));
    EXPECT_TRUE(p.inked(9, 5));
    EXPECT_FALSE(p.inked(10, 5));
    p.box.line(20 * p.tx, 2 * p.ty, 20 * p.tx, 8 * p.ty, rgb(255, 0, 0));
    EXPECT_EQ(p.at(20, 7), QColor(Qt::red));
    EXPECT_FALSE(p.inked(20, 8));
    // A line to its own start draws nothing; drawing moves the current position.
    p.box.line(30 * p.tx, 30 * p.ty, 30 * p.tx, 30 * p.ty, vbBlack);
    EXPECT_FALSE(p.inked(30, 30));
    EXPECT_EQ(p.box.currentX(), 30 * p.tx);
}

TEST(PictureBox, BoxesIncludeBothCornersAndPointsAreSingle) {
    Picture p(40, 40);
    p.box.box(2 * p.tx, 2 * p.ty, 6 * p.tx, 5 * p.ty, vbBlack);
    EXPECT_TRUE(p.inked(6, 5));
    EXPECT_TRUE(p.inked(2, 2));
    EXPECT_FALSE(p.inked(4, 3));  // outline only
    p.box.fillBox(10 * p.tx, 10 * p.ty, 12 * p.tx, 12 * p.ty, rgb(0, 0, 255));
    EXPECT_EQ(p.at(12, 12), QColor(Qt::blue));
    EXPECT_EQ(p.at(11, 11), QColor(Qt::blue));
    EXPECT_FALSE(p.inked(13, 12));
    p.box.pset(20 * p.tx, 20 * p.ty, vbBlack);
    EXPECT_TRUE(p.inked(20, 20));
    EXPECT_FALSE(p.inked(21, 20));
}

TEST(PictureBox, PrintWritesAtTheCurrentPositionAndMovesToTheNextLine) {
    Picture p(200, 60);
    p.box.setCurrentX(10 * p.tx);
    p.box.setCurrentY(5 * p.ty);
    p.box.print("00:00");
    EXPECT_EQ(p.box.currentX(), 0);
    EXPECT_EQ(p.box.currentY(), 5 * p.ty + p.box.textHeight("0"));
    bool inked = false;
    for (int x = 10; x < 60; ++x)
        for (int y = 5; y < 5 + p.box.textHeight("0") / p.ty; ++y) inked = inked || p.inked(x, y);
    EXPECT_TRUE(inked);
    EXPECT_GT(p.box.textWidth("00:00"), p.box.textWidth("0"));
    p.box.cls();
    EXPECT_FALSE(p.inked(12, 8));
    EXPECT_EQ(p.box.currentY(), 0);
}

TEST(PictureBox, ScaleIsThePixelSizeInTwips) {
    Picture p(120, 80);
    EXPECT_EQ(p.box.scaleWidth(), 120.0 * p.tx);
    EXPECT_EQ(p.box.scaleHeight(), 80.0 * p.ty);
    p.box.resize(150, 80);  // the picture survives a resize
    p.box.pset(0, 0, vbBlack);
    EXPECT_EQ(p.box.image().width(), 150);
}

TEST(RecordingSurface, RecordsOperationsWithFixedTextMetrics) {
    RecordingSurface s(3000, 2000);
    EXPECT_EQ(s.textWidth("00:00"), 450);
    EXPECT_EQ(s.textWidth("停止"), 360);   // full-width characters are two cells
    EXPECT_EQ(s.textWidth("ｶﾅ"), 180);    // half-width katakana one
    EXPECT_EQ(s.textHeight("0"), 180);
    s.line(0, 0, 100, 0, vbBlack);
    s.setCurrentX(50);
    s.setCurrentY(60);
    s.print(" 1");
    ASSERT_EQ(s.ops().size(), 2u);
    EXPECT_EQ(s.ops()[1].kind, DrawOp::Text);
    EXPECT_EQ(s.ops()[1].x1, 50);
    EXPECT_EQ(s.ops()[1].y1, 60);
    EXPECT_EQ(s.ops()[1].text, " 1");
    EXPECT_EQ(s.currentY(), 240);
    s.setVisible(false);
    s.setVisible(true);
    EXPECT_EQ(s.visibilityChanges(), (std::vector<bool>{false, true}));
}

TEST(Colours, PlainColoursAreBgrAndSystemColoursFollowThePalette) {
    EXPECT_EQ(toQColor(0xC0E0FF), QColor(0xFF, 0xE0, 0xC0));
    EXPECT_EQ(fromQColor(QColor(0xFF, 0x80, 0x80)), 0x8080FF);
    const QPalette pal = QGuiApplication::palette();
    EXPECT_EQ(toQColor(vb3DHighlight), pal.color(QPalette::Light));
    EXPECT_EQ(toQColor(vb3DLight), pal.color(QPalette::Midlight));
    EXPECT_EQ(toQColor(vbButtonShadow), pal.color(QPalette::Dark));
    EXPECT_EQ(toQColor(vb3DDKShadow), pal.color(QPalette::Shadow));
    EXPECT_EQ(toQColor(vbButtonFace), pal.color(QPalette::Button));
}
