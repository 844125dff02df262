// The card window with the real control over the emulated reader, the card pulled while the
// window writes, copies or initialises it: the window reports the failure, and once the card
// is back, its repair brings the card to a usable state.
#ifdef KV_CARD_END_TO_END
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QThread>
#include <cstdlib>
#include <filesystem>

#include "../shell/shell_fixture.h"
#include "card/window.h"
#include "com/registry.h"
#include "devices/system.h"
#include "emulator/reader.h"
#include "shell/reader_bus.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace cardtest {
namespace {

// The device stack with an emulated reader, kept for the process as the program keeps its own.
emulator::Reader* emulatedReader() {
    static devices::System* system = nullptr;
    if (!system) {
        const auto file = std::filesystem::path(::testing::TempDir()) / ("card-cut-" + std::to_string(getpid()) + ".img");
        std::filesystem::remove(file);
        setenv("RDX_EMULATOR_CARD", file.c_str(), 1);
        setenv("RDX_EMULATOR_TIMING", "fast", 1);
        const std::string folder = shelltest::builtMasterDat().parent_path().string();
        system = new devices::System(folder, shell::readerBus(folder));
        unsetenv("RDX_EMULATOR_CARD");
    }
    return shell::emulatedReader();
}

class CardCut : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        reader_ = emulatedReader();
        ASSERT_NE(reader_, nullptr);
        reader_->insert(std::make_shared<emulator::Card>(0xA4));  // a blank card from the shop
        com::registerLibraryClass(card::kControlClass, shelltest::builtMasterDat().parent_path() / "libRDXKVM58.so");
        wizard::registerPage(5, [](QWidget* p) { return new frmCard(p); });
        started();
    }
    void TearDown() override {
        page_.reset();
        reader_->clearFaults();
        wizard::registerPage(5, {});
        com::unregisterClass(card::kControlClass);
        ProgramFolder::TearDown();
    }

    // Opens the card window on `formNo`; a blank card is initialised on the window's offer.
    void open(int formNo) {
        if (reader_->card()->blockData(0) == nullptr)
            dialogs_.expect("今すぐ初期化しますか？", forms::vbYes).expect("初期化が完了しました。");
        main_->show();
        page_ = std::make_unique<frmCard>(main_->clientArea());
        page_->msbShowForm(formNo, 0);
        page_->show();
        ASSERT_EQ(dialogs_.pending(), 0u);
        ASSERT_TRUE(page_->lblCardError->isHidden()) << page_->lblCardError->text().toStdString();
    }

    // A press and a release posted to the button, delivered by the event loop as a hand's.
    void click(QAbstractButton* button) {
        ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->text().toStdString();
        const QPointF at = QRectF(button->rect()).center();
        const QPointF global = button->mapToGlobal(at);
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                            Qt::NoButton, Qt::NoModifier));
        QCoreApplication::processEvents();
    }

    // Runs `operation` once whole to learn its commands, puts the card back as it was, and
    // runs it again with the card pulled right after block 0 was erased and one sector of
    // the new header written: the worst moment for the card's map.
    void runWithCardPulled(const std::function<void()>& whole, const std::function<void()>& cut) {
        const auto before = reader_->card()->image();
        reader_->clearLog();
        whole();
        ASSERT_EQ(dialogs_.pending(), 0u);
        const auto log = reader_->log();
        int k = 0;
        for (std::size_t i = 0; i < log.size(); ++i)
            if (log[i].command == 0x01 && log[i].block == 0) k = static_cast<int>(i) + 2;
        ASSERT_GT(k, 0) << "the operation never rewrote block 0";

        card_ = std::make_shared<emulator::Card>(0xA4);
        card_->poke(0, before);
        reader_->insert(card_);
        reader_->pullCardAfter(k);
        cut();
        ASSERT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(page_->lblCardError->text().toStdString(), "カードなし");
    }

    // Lets the window run for a while, its card poll with it.
    void runEvents(int ms, const std::function<bool()>& until) {
        for (int waited = 0; !until() && waited < ms; waited += 20) {
            QCoreApplication::processEvents();
            QThread::msleep(20);
        }
    }

    // The card stays out while the poll looks, then goes back into the reader: the poll
    // finds the broken-off change and the window offers the repair, which leaves a card that
    // passes the check.
    void reinsertAndRepair() {
        reader_->clearLog();
        runEvents(10000, [&] { return reader_->log().size() >= 3; });
        dialogs_.expect("今すぐ修復しますか？", forms::vbYes).expect("修復が完了しました。");
        reader_->insert(card_);
        runEvents(10000, [&] { return dialogs_.pending() == 0; });
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_TRUE(page_->lblCardError->isHidden()) << page_->lblCardError->text().toStdString();
    }

    emulator::Reader* reader_ = nullptr;
    std::shared_ptr<emulator::Card> card_;
    std::unique_ptr<frmCard> page_;
};

TEST_F(CardCut, AWriteCutShortIsReportedAndRepaired) {
    open(7);
    page_.reset();
    ASSERT_TRUE(main_->mfnfMakeNewFile());
    open(6);
    if (!page_->chkCardName->isChecked()) click(page_->chkCardName);
    page_->txtCardName[0]->setText("東京本社");
    auto write = [&](const char* outcome) {
        dialogs_.expect(outcome);
        click(page_->cmdWrite);
    };
    runWithCardPulled([&] { write("書き込みが終了しました。"); },
                      [&] { write("データ書き込み中にエラーが発生しました。"); });
    reinsertAndRepair();
    const std::string name = page_->lblCardName->text().toStdString();
    EXPECT_TRUE(name == "東京本社" || name.empty()) << name;
}

TEST_F(CardCut, ACopyCutShortIsReportedAndRepaired) {
    gfServiceMode = vbTrue;
    open(7);
    auto copy = [&](const char* outcome, int answer) {
        dialogs_.expect("コピーします。", forms::vbYes)
            .expect("コピー先のカードを挿入してください。", forms::vbOK)
            .expect(outcome, answer);
        click(page_->cmdCopy);
    };
    runWithCardPulled([&] { copy("続けて別のカードに書き込みますか？", forms::vbNo); },
                      [&] { copy("エラーが発生しました。", forms::vbOK); });
    reinsertAndRepair();
    gfServiceMode = vbFalse;
}

TEST_F(CardCut, AnInitialiseCutShortIsReportedAndRepaired) {
    open(7);
    auto initialise = [&](const char* outcome) {
        dialogs_.expect("このカードを初期化してもよろしいですか？", forms::vbYes).expect(outcome);
        click(page_->cmdInitial);
    };
    runWithCardPulled([&] { initialise("カードを初期化しました。"); },
                      [&] { initialise("カードの初期化中にエラーが発生しました。"); });
    reinsertAndRepair();
}

}  // namespace
}  // namespace cardtest
#endif
