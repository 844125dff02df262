#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "forms/controls.h"
#include "mouse.h"

using namespace forms;

TEST(TextBox, ChangeFiresOnlyOnARealChange) {
    TextBox box;
    int changes = 0;
    QObject::connect(&box, &TextBox::change, [&] { ++changes; });
    box.setText("12");
    box.setText("12");
    EXPECT_EQ(changes, 1);
    sendKeyAscii(&box, '3');
    EXPECT_EQ(box.text(), "123");
    EXPECT_EQ(changes, 2);
    box.setText("");
    EXPECT_EQ(changes, 3);
}

TEST(CheckBox, CodeThatChangesTheValueRaisesClick) {
    CheckBox chk("祝日を使用する");
    int clicks = 0;
    QObject::connect(&chk, &CheckBox::click, [&] { ++clicks; });
    chk.setValue(vbChecked);
    EXPECT_EQ(chk.value(), vbChecked);
    EXPECT_EQ(clicks, 1);
    chk.setValue(vbChecked);  // no change, no click
    EXPECT_EQ(clicks, 1);
    chk.resize(150, 30);
    test::click(&chk, QPoint(8, 15));
    EXPECT_EQ(chk.value(), vbUnchecked);
    EXPECT_EQ(clicks, 2);
}

TEST(OptionButton, SelectingRaisesClickOnceAndTheSelectedOneRaisesNothing) {
    QWidget frame;
    auto* a = new OptionButton("日", &frame);
    auto* b = new OptionButton("月", &frame);
    std::vector<std::string> clicks;
    QObject::connect(a, &OptionButton::click, [&] { clicks.push_back("a"); });
    QObject::connect(b, &OptionButton::click, [&] { clicks.push_back("b"); });
    a->setValue(true);
    a->setValue(true);
    b->setValue(true);
    EXPECT_FALSE(a->value());
    EXPECT_EQ(clicks, (std::vector<std::string>{"a", "b"}));
}

TEST(CommandButton, PressRaisesMouseDownClickMouseUpInThatOrder) {
    CommandButton cmd("登録");
    cmd.resize(80, 30);
    std::vector<std::string> events;
    QObject::connect(&cmd, &CommandButton::mouseDown, [&](int, int, double, double) { events.push_back("down"); });
    QObject::connect(&cmd, &CommandButton::click, [&] { events.push_back("click"); });
    QObject::connect(&cmd, &CommandButton::mouseUp, [&](int, int, double, double) { events.push_back("up"); });
    test::click(&cmd, QPoint(40, 15));
    EXPECT_EQ(events, (std::vector<std::string>{"down", "click", "up"}));
}

// A handler may close the window that holds the button, at any of its three events; the
// rest of the click must leave the freed button alone.
TEST(CommandButton, AHandlerMayCloseTheButtonsWindowAtAnyOfItsEvents) {
    enum Event { Down, Click, Up };
    for (Event closeAt : {Down, Click, Up}) {
        SCOPED_TRACE(closeAt);
        auto* window = new QWidget;
        auto* cmd = new CommandButton("次へ", window);
        cmd->resize(80, 30);
        window->show();
        QPointer<QWidget> alive(window);
        int later = 0;
        const auto close = [&](Event at) {
            if (at == closeAt) delete window;
            else if (at > closeAt) ++later;
        };
        QObject::connect(cmd, &CommandButton::mouseDown, [&](int, int, double, double) { close(Down); });
        QObject::connect(cmd, &CommandButton::click, [&] { close(Click); });
        QObject::connect(cmd, &CommandButton::mouseUp, [&](int, int, double, double) { close(Up); });
        // A window gone at the press takes no release.
        if (closeAt == Down) QTest::mousePress(cmd, Qt::LeftButton);
        else QTest::mouseClick(cmd, Qt::LeftButton);
        EXPECT_TRUE(alive.isNull());
        EXPECT_EQ(later, 0);
        delete alive.data();
    }
}

TEST(KeyPreview, TheWindowSeesKeysFirstAndMaySwallowOrReplaceThem) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* first = new TextBox;
    auto* second = new TextBox;
    layout->addWidget(first);
    layout->addWidget(second);
    window.show();
    QApplication::setActiveWindow(&window);
    first->setFocus();
    KeyPreview preview(&window);
    std::vector<int> seen;
    preview.keyPress = [&](int& k) {
        seen.push_back(k);
        if (k == 13) {  // Enter moves on instead of reaching the box
            k = 0;
            second->setFocus();
        } else if (k == 'a') {
            k = 'A';
        }
    };
    sendKeyAscii(first, 'a');
    sendKeyAscii(first, 13);
    EXPECT_EQ(first->text(), "A");
    EXPECT_EQ(seen, (std::vector<int>{'a', 13}));
    EXPECT_EQ(QApplication::focusWidget(), second);
}
