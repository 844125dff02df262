#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>

#include "forms/fonts.h"
#include "forms/services.h"
#include "runtime/events.h"

using namespace forms;

TEST(ScreenPointer, IsSetNotStackedSoItCannotLeak) {
    setScreenPointer(vbHourglass);
    setScreenPointer(vbHourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    setScreenPointer(vbDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(screenPointer(), vbDefault);
    setScreenPointer(vbDefault);  // resetting twice is harmless
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Beep, IsCounted) {
    resetBeepCount();
    beep();
    beep();
    EXPECT_EQ(beepCount(), 2);
}

TEST(Timer, RunsOnlyWhileEnabledWithAnInterval) {
    Timer t;
    int ticks = 0;
    QObject::connect(&t, &Timer::timer, [&] { ++ticks; });
    EXPECT_FALSE(t.isRunning());  // interval 0
    t.setInterval(1000);
    EXPECT_TRUE(t.isRunning());
    t.setEnabled(false);
    EXPECT_FALSE(t.isRunning());
    t.setEnabled(true);
    t.setInterval(0);
    EXPECT_FALSE(t.isRunning());
    t.fire();
    EXPECT_EQ(ticks, 1);
}

TEST(DoEvents, RunsPendingWorkAndTheRunTimesDoEventsToo) {
    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&] { ran = true; }, Qt::QueuedConnection);
    doEvents();
    EXPECT_TRUE(ran);
    installRuntimeHooks();
    ran = false;
    QMetaObject::invokeMethod(qApp, [&] { ran = true; }, Qt::QueuedConnection);
    runtime::doEvents();
    EXPECT_TRUE(ran);
}

TEST(Fonts, JapaneseGothicAndArialMapToTheInstalledFaces) {
    EXPECT_EQ(fontFamilyFor("ＭＳ ゴシック"), "IPAGothic");
    EXPECT_EQ(fontFamilyFor("Arial"), "Liberation Sans");
    EXPECT_EQ(fontFamilyFor("Unknown Face"), "Unknown Face");
    const QFontInfo gothic(makeFont("ＭＳ ゴシック", 9));
    EXPECT_EQ(gothic.family(), "IPAGothic");
    // Fixed pitch: every half-width character one cell, a full-width one two.
    const QFontMetrics fm(makeFont("ＭＳ ゴシック", 9));
    EXPECT_EQ(fm.horizontalAdvance("i"), fm.horizontalAdvance("W"));
    EXPECT_EQ(2 * fm.horizontalAdvance("0"), fm.horizontalAdvance(QString::fromUtf8("停")));
    EXPECT_EQ(QFontInfo(makeFont("Arial", 10, true)).family(), "Liberation Sans");
    installFontSubstitutions();
    EXPECT_EQ(QFontInfo(QFont(QString::fromUtf8("ＭＳ ゴシック"))).family(), "IPAGothic");
}
