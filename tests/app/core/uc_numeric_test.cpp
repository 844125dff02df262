#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include "core/uc_numeric.h"
#include "core/uc_text_num.h"
#include "forms/controls.h"
#include "forms/services.h"

namespace {

void type(QWidget* w, const QString& chars) {
    for (const QChar c : chars) forms::sendKeyAscii(w, c.unicode());
}

// A widget in a shown window, with its Change events and beeps counted from zero.
template <class W> struct Shown {
    QWidget window;
    W* w = new W(&window);
    int changes = 0;
    Shown() {
        window.resize(200, 60);
        window.show();
        QApplication::setActiveWindow(&window);
        QObject::connect(w, &W::Change, [this] { ++changes; });
        forms::resetBeepCount();
    }
    QLineEdit* box() const { return w->textBox(); }
};

}  // namespace

TEST(UcNumeric, TypingAboveMaxLeavesMaxSelectedWithOneBeepAndOneChangePerEdit) {
    Shown<UcNumeric> s;
    s.w->SetMax(23);
    s.w->SetFocus();
    EXPECT_EQ(s.box()->selectedText(), "0");  // the focus selects the whole text
    type(s.box(), "3");
    EXPECT_EQ(s.box()->text(), "3");
    EXPECT_EQ(s.changes, 1);
    type(s.box(), "0");
    EXPECT_EQ(s.box()->text(), "23");
    EXPECT_EQ(s.box()->selectedText(), "23");
    EXPECT_EQ(forms::beepCount(), 1);
    EXPECT_EQ(s.changes, 2);
    EXPECT_EQ(s.w->Value(), 23);
}

TEST(UcNumeric, EmptyingTheBoxGivesMinSelected) {
    Shown<UcNumeric> s;
    s.w->SetMin(1);
    s.w->SetMax(12);
    s.w->SetValue(7);
    s.changes = 0;
    s.box()->selectAll();
    type(s.box(), QString(QChar(8)));
    EXPECT_EQ(s.box()->text(), "1");
    EXPECT_EQ(s.box()->selectedText(), "1");
    EXPECT_EQ(s.changes, 1);
}

TEST(UcNumeric, ValueSetFromCodeIsClampedAndRaisesChange) {
    Shown<UcNumeric> s;
    s.w->SetMax(59);
    s.w->SetValue(75);
    EXPECT_EQ(s.w->Value(), 59);
    EXPECT_EQ(s.changes, 1);
    s.w->SetValue(59);  // no real change, no event
    EXPECT_EQ(s.changes, 1);
    s.w->SetBeepOn(false);
    s.w->SetValue(-3);
    EXPECT_EQ(s.w->Value(), 0);
    EXPECT_EQ(forms::beepCount(), 1);  // only the first correction beeped
}

TEST(UcNumeric, KeysAreFilteredAndTheContainerMayChangeThem) {
    Shown<UcNumeric> s;
    s.w->SetMax(99);
    s.box()->clear();  // "0" after the correction
    s.box()->selectAll();
    std::vector<int> seen;
    QObject::connect(s.w, &UcNumeric::KeyPress, [&](int& k) {
        seen.push_back(k);
        if (k == '7') k = '1';
    });
    type(s.box(), "a");
    EXPECT_EQ(s.box()->text(), "0");  // a letter changes nothing
    type(s.box(), QString::fromUtf8("５"));
    EXPECT_EQ(s.box()->text(), "5");
    type(s.box(), "7");
    EXPECT_EQ(s.box()->text(), "51");
    EXPECT_EQ(seen, (std::vector<int>{0, '5', '7'}));
    // Full-width digits committed by an input method pass the same filter.
    s.box()->selectAll();
    QInputMethodEvent ime;
    ime.setCommitString(QString::fromUtf8("４あ２"));
    QApplication::sendEvent(s.box(), &ime);
    EXPECT_EQ(s.box()->text(), "42");
}

TEST(UcNumeric, ArrowsStepByOneAndWrapAtTheLimits) {
    Shown<UcNumeric> s;
    s.w->SetMax(23);
    s.w->SetValue(22);
    s.w->upButton()->click();
    EXPECT_EQ(s.w->Value(), 23);
    s.w->upButton()->click();  // held at Max
    EXPECT_EQ(s.w->Value(), 23);
    s.w->SetWrap(true);
    s.changes = 0;
    s.w->upButton()->click();
    EXPECT_EQ(s.w->Value(), 0);
    s.w->downButton()->click();
    EXPECT_EQ(s.w->Value(), 23);
    EXPECT_EQ(s.changes, 2);
    EXPECT_EQ(forms::beepCount(), 0);
}

TEST(UcNumeric, EnabledCoversBothPartsAndANarrowWidgetWidensItself) {
    Shown<UcNumeric> s;
    s.w->SetEnabled(false);
    EXPECT_FALSE(s.box()->isEnabled());
    EXPECT_FALSE(s.w->upButton()->isEnabled());
    s.w->SetEnabled(true);
    EXPECT_TRUE(s.w->downButton()->isEnabled());
    s.w->resize(5, 100);
    EXPECT_EQ(s.w->width(), 2 * s.w->arrowWidth());
    EXPECT_EQ(s.w->height(), s.box()->height());
    EXPECT_EQ(s.box()->width(), s.w->arrowWidth());
    EXPECT_EQ(s.w->upButton()->x(), s.box()->width());
}

TEST(UcTextNum, CorrectsAnyTypedTextAndWaitsForTheNextEditAfterARangeChange) {
    Shown<UcTextNum> s;
    EXPECT_EQ(s.box()->text(), "");
    s.w->SetMin(1);
    s.w->SetMax(9);
    s.box()->setFocus();
    type(s.box(), "a");
    EXPECT_EQ(s.box()->text(), "1");
    EXPECT_EQ(s.box()->selectedText(), "1");
    EXPECT_EQ(forms::beepCount(), 1);
    EXPECT_EQ(s.changes, 1);
    s.box()->setText("12");
    EXPECT_EQ(s.box()->text(), "9");
    s.w->SetValue(8);
    s.w->SetMax(5);
    EXPECT_EQ(s.w->Value(), 8);  // unchanged until the text changes
    s.w->SetValue(7);
    EXPECT_EQ(s.w->Value(), 5);
}
