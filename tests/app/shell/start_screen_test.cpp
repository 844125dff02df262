// The start screen's clock, version, menu buttons and hidden switches.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "shell_fixture.h"

namespace {

class StartScreen : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        started();
    }
    frmWizard& s() { return *main_->startScreen(); }
    void type(const std::string& keys) {
        for (char c : keys) s().Form_KeyPress(static_cast<unsigned char>(c));
    }
};

TEST_F(StartScreen, ClockVersionAndMenus) {
    EXPECT_EQ(s().lblToday()->text().toStdString(), "2026/12/10(木)");
    EXPECT_EQ(s().lblNow()->text().toStdString(), "14:00:00");
    EXPECT_EQ(s().lblVersion()->text().toStdString(), "Ver. 1.01");
    EXPECT_EQ(s().tmrNow()->interval(), 200);
    EXPECT_TRUE(s().tmrNow()->isEnabled());
    EXPECT_EQ(s().cmdItemTag(0).toStdString(), "新しくデータを作る");
    EXPECT_EQ(s().cmdItemTag(5).toStdString(), "終了");
    EXPECT_EQ(s().size(), QSize(560, 470));
    // Centred in the main window's client area.
    const QWidget* area = main_->clientArea();
    EXPECT_EQ(s().x(), area->width() / 2 - s().width() / 2);
}

TEST_F(StartScreen, MenuRowsBeyondSixGetNoButton) {
    master("UPDATE tblWizard SET fldCaption = 'X' WHERE fldMenuNo = 7 AND fldWizardNo = 0");
    main_.reset();
    started();
    for (int i = 0; i < 6; ++i) EXPECT_NE(s().cmdItemTag(i), "X");
}

TEST_F(StartScreen, AccessCode) {
    // Right after show: the code asks; No leaves it in the buffer, the next key empties it.
    dialogs_.expect("デバッグモードにしますか？", forms::vbNo);
    type(kDebugAccessCode);
    EXPECT_EQ(dialogs_.shown().back().style, forms::vbYesNo | forms::vbDefaultButton2);
    EXPECT_EQ(s().keyBuffer(), kDebugAccessCode);
    type("x");
    EXPECT_EQ(s().keyBuffer(), "");
    // One wrong character first: the code fails until the buffer overflows.
    type(std::string("z") + kDebugAccessCode);
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(s().keyBuffer(), "");  // 14 characters emptied it, the 14th lost with it
    // Backspace empties the buffer; then the code counts. Yes switches debug mode on.
    type("ab");
    s().Form_KeyPress(8);
    dialogs_.expect("デバッグモードにしますか？", forms::vbYes);
    type(kDebugAccessCode);
    EXPECT_TRUE(gintLogMode);
    EXPECT_EQ(s().lblDebug()->text(), "Debug");
    EXPECT_TRUE(exists("Soft.log"));
    // In log mode keys are discarded.
    type("QUO");
    EXPECT_EQ(s().keyBuffer(), "");
}

TEST_F(StartScreen, KeysReachTheScreenWhileAButtonHasFocus) {
    dialogs_.expect("デバッグモードにしますか？", forms::vbNo);
    for (char c : std::string(kDebugAccessCode)) {
        QKeyEvent press(QEvent::KeyPress, QChar(c).toUpper().unicode(), Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(s().cmdItem(0), &press);
    }
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(StartScreen, ServiceMode) {
    dialogs_.expect("\r\n　データが壊れることがあります。", forms::vbNo);
    s().lblHidden_DblClick();
    EXPECT_FALSE(gfServiceMode);
    EXPECT_EQ(dialogs_.shown().back().style, forms::vbYesNo | forms::vbDefaultButton2 | forms::vbExclamation);
    dialogs_.expect("サービスモードにしますか？", forms::vbYes);
    s().lblHidden_DblClick();
    EXPECT_TRUE(gfServiceMode);
    EXPECT_EQ(s().lblService()->text(), "Service");
    s().lblHidden_DblClick();  // on already: nothing
    s().lblService_DblClick();  // off again without asking
    EXPECT_FALSE(gfServiceMode);
    EXPECT_EQ(s().lblService()->text(), "Normal");
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(StartScreen, ClosingIsRefusedWhileAWizardRuns) {
    EXPECT_TRUE(s().Form_QueryUnload(false));
    s().hide();
    dialogs_.expect("メニュー画面に戻ってから終了してください。");
    EXPECT_FALSE(s().Form_QueryUnload(false));
    EXPECT_TRUE(s().Form_QueryUnload(true));
    EXPECT_EQ(dialogs_.shown().back().style, forms::vbCritical);
}

TEST_F(StartScreen, BrandModeChoosesItsPicture) {
    master("UPDATE tblOption SET fldOptionValue = 'T' WHERE fldOptionItem = '動作モード'");
    main_.reset();
    started();
    EXPECT_TRUE(gfBrandMode);
    EXPECT_EQ(s().size(), QSize(560, 470));
}

}  // namespace
