// Reading a card into a new document and writing the document to a card, through the card
// window against a scripted control.
#include <QTest>

#include <filesystem>

#include "card/card_data.h"
#include "card/image.h"
#include "card_window_fixture.h"
#include "core/database.h"
#include "runtime/datetime.h"

namespace cardtest {
namespace {

using card::dispid::ReadCardData;
using card::dispid::WriteCardData;

class Read : public CardWindow {
protected:
    // Menu 3 starts with the read page.
    frmCard& readPage() {
        main_->msbShowWizard(3);
        auto* page = dynamic_cast<frmCard*>(main_->activePage());
        EXPECT_NE(page, nullptr);
        return *page;
    }
    void SetUp() override {
        CardWindow::SetUp();
        wizard::registerPage(5, [](QWidget* p) { return new frmCard(p); });
    }
    void TearDown() override {
        wizard::registerPage(5, {});
        CardWindow::TearDown();
    }
    // A card image of a new document, as the control would dump it.
    std::string cardImage() {
        const std::string path = file("source.crd");
        ASSERT_TRUE_OR(main_->mfnfMakeNewFile());
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
        card::WriteModeRecord all{};
        for (std::size_t i = 24; i < all.size(); ++i) all[i] = 4;
        gdbWork.execute("UPDATE tblCardWrite SET fldComment = 'ＴＥＳＴ' WHERE fldBlockNo = 224");
        EXPECT_TRUE(card::mfnfMakeCardData(path, all, {}));
        gsbCloseDatabase(gdbWork);
        std::filesystem::remove(file("Regist.dat"));
        return path;
    }
    static bool ASSERT_TRUE_OR(bool b) {
        EXPECT_TRUE(b);
        return b;
    }
};

TEST_F(Read, ACardWithoutScheduleIsRefusedOutsideServiceMode) {
    struct Case {
        bool service;
        bool scheduleDate;
        bool settingDate;
        bool refused;
    };
    const Case cases[] = {{false, false, true, true}, {true, false, true, false}, {true, false, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.service) + std::to_string(c.settingDate));
        gfServiceMode = vbBool(c.service);
        prepare = [&](FakeCard& f) {
            f.setStatus(0);
            f.setDates(c.scheduleDate ? 2026 : 0, c.scheduleDate ? 12 : 0, c.scheduleDate ? 1 : 0,
                       c.settingDate ? 2026 : 0, c.settingDate ? 11 : 0, c.settingDate ? 2 : 0);
            f.results[ReadCardData] = {106};
        };
        frmCard& f = readPage();
        if (c.refused) {
            dialogs_.expect("スケジュールデータがありません。");
        } else {
            dialogs_.expect("データ読み込み中にエラーが発生しました。[106]");
        }
        f.cmdRead_Click();
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(fake().calls(ReadCardData), c.refused ? 0 : 1);
        // A failed read leaves no document and no image behind.
        EXPECT_FALSE(exists("Regist.dat"));
        EXPECT_FALSE(exists("CardData.crd"));
        EXPECT_FALSE(gdbWork.isOpen());
        EXPECT_TRUE(f.cmdRead->isEnabled());
        EXPECT_EQ(f.working(), nullptr);
    }
}

TEST_F(Read, TheScheduleDateFollowsTheProgramsDateRule) {
    struct Case {
        int y, m, d;
        bool read;
    };
    // Day 0 is the last day of the month before; a block never written holds zeros.
    const Case cases[] = {{2026, 12, 0, true}, {2026, 13, 1, true}, {2002, 5, 0, false}, {0, 0, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.y) + "-" + std::to_string(c.m) + "-" + std::to_string(c.d));
        prepare = [&](FakeCard& f) {
            f.setStatus(0);
            f.setDates(c.y, c.m, c.d);
            f.results[ReadCardData] = {106};
        };
        frmCard& f = readPage();
        dialogs_.expect(c.read ? "データ読み込み中にエラーが発生しました。[106]" : "スケジュールデータがありません。");
        QTest::mouseClick(f.cmdRead, Qt::LeftButton);
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(fake().calls(ReadCardData), c.read ? 1 : 0);
    }
}

TEST_F(Read, AGoodCardBecomesANewUnsavedDocumentAndTheWizardMovesOn) {
    const std::string image = cardImage();
    prepare = [&](FakeCard& f) {
        f.setStatus(0);
        f.setDates(2026, 12, 1);
        f.onCall[ReadCardData] = [image](std::span<com::Variant> args) {
            std::filesystem::copy_file(image, args[0].asString());
        };
    };
    frmCard& f = readPage();
    const int step = main_->currentStep();
    f.cmdRead_Click();
    EXPECT_EQ(main_->fileName(), "カードデータ");
    EXPECT_NE(gfChanged, vbFalse);
    EXPECT_GT(main_->currentStep(), step);
    EXPECT_FALSE(exists("CardData.crd"));
    ASSERT_TRUE(exists("Regist.dat"));
    dao::Database db = dao::Database::open(file("Regist.dat"));
    auto rs = db.openRecordset("SELECT fldComment FROM tblCardWrite WHERE fldBlockNo = 224");
    EXPECT_EQ(rs["fldComment"].toText(), "ＴＥＳＴ");
}

TEST_F(Read, AnImageThatDoesNotParseIsDiscarded) {
    prepare = [&](FakeCard& f) {
        f.setStatus(0);
        f.setDates(2026, 12, 1);
        f.onCall[ReadCardData] = [](std::span<com::Variant> args) { shelltest::writeFile(args[0].asString(), "junk"); };
    };
    frmCard& f = readPage();
    dialogs_.expect("データ読み込み中にエラーが発生しました。");
    f.cmdRead_Click();
    EXPECT_FALSE(exists("Regist.dat"));
    EXPECT_FALSE(exists("CardData.crd"));
    EXPECT_EQ(f.working(), nullptr);
}

// ---------------------------------------------------------------------------------------

class Write : public CardWindow {
protected:
    void SetUp() override {
        prepare = [](FakeCard& c) { c.setStatus(0); };
        CardWindow::SetUp();
        newDocument();
        open(6);
        fake().onCall[WriteCardData] = [this](std::span<com::Variant> args) {
            imageExisted_ = std::filesystem::exists(args[0].asString());
            if (w().working()) {
                barMax_ = w().working()->pgbWorking()->maximum();
                barAt_ = w().working()->pgbWorking()->value();
            }
        };
    }
    void select(bool name, bool schedule, bool message) {
        for (auto [box, on] : {std::pair{w().chkCardName, name}, {w().chkSchedule, schedule}, {w().chkMessage, message}})
            if (box->isChecked() != on) box->click();
    }
    bool imageExisted_ = false;
    int barMax_ = -1;
    int barAt_ = -1;
};

TEST_F(Write, OnlyTheCardNameUsesThreeSteps) {
    bool checked = false;
    card::setDataCheck([&](int) { return checked = true; });
    select(true, false, false);
    dialogs_.expect("書き込みが終了しました。");
    w().cmdWrite_Click();
    card::setDataCheck({});
    EXPECT_FALSE(checked);
    EXPECT_TRUE(imageExisted_);
    EXPECT_EQ(barMax_, 300);
    EXPECT_EQ(barAt_, 200);
    EXPECT_FALSE(exists("CardData.crd"));
    EXPECT_EQ(w().working(), nullptr);
}

TEST_F(Write, TheScheduleAloneUsesTwentySteps) {
    select(false, true, false);
    dialogs_.expect("書き込みが終了しました。");
    w().cmdWrite_Click();
    EXPECT_EQ(barMax_, 2000);
    EXPECT_EQ(barAt_, 1900);
}

TEST_F(Write, ADocumentWithErrorsIsNotWritten) {
    card::setDataCheck([](int) { return false; });
    select(false, true, false);
    w().cmdWrite_Click();
    card::setDataCheck({});
    EXPECT_EQ(fake().calls(WriteCardData), 0);
    EXPECT_FALSE(exists("CardData.crd"));
    EXPECT_EQ(w().working(), nullptr);
}

TEST_F(Write, FailuresAreReportedWithTheCardErrorNumber) {
    struct Case {
        bool log;
        const char* message;
    };
    const Case cases[] = {
        {false, "データ書き込み中にエラーが発生しました。[101]"},
        {true, "データ書き込み中にエラーが発生しました。\r\nError No.101 text of 101"},
    };
    select(true, false, false);
    for (const auto& c : cases) {
        gintLogMode = vbBool(c.log);
        fake().results[WriteCardData] = {101};
        dialogs_.expect(c.message);
        w().cmdWrite_Click();
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_FALSE(exists("CardData.crd"));
        EXPECT_EQ(w().working(), nullptr);
        EXPECT_TRUE(w().cmdWrite->isEnabled());
    }
}

TEST_F(Write, NothingSelectedOnlyBeeps) {
    select(false, false, false);
    forms::resetBeepCount();
    w().cmdWrite_Click();
    EXPECT_EQ(forms::beepCount(), 1);
    EXPECT_EQ(fake().calls(WriteCardData), 0);
}

TEST_F(Write, TheChoiceIsStoredInTheDocument) {
    gfChanged = vbFalse;
    select(true, false, true);
    const auto mode = [](int block) {
        auto rs = gdbWork.openRecordset("SELECT fldWriteMode FROM tblCardWrite WHERE fldBlockNo = ?1", {block});
        return rs["fldWriteMode"].toInt();
    };
    EXPECT_EQ(mode(224), 4);
    EXPECT_EQ(mode(221), 0);
    EXPECT_EQ(mode(226), 0);
    EXPECT_EQ(mode(225), 4);
    EXPECT_NE(gfChanged, vbFalse);
    // The typed name goes to the write list when the box is left.
    w().txtCardName[0]->setText("本社  ");
    w().txtCardName_LostFocus(0);
    auto rs = gdbWork.openRecordset("SELECT fldComment FROM tblCardWrite WHERE fldBlockNo = 224");
    EXPECT_EQ(rs["fldComment"].toText(), "本社");
}

TEST_F(Write, ProgressFollowsThePositionOfTheTransfer) {
    select(true, false, false);
    fake().props[card::dispid::ActionMode] = com::Variant::i4(2);
    fake().onCall[WriteCardData] = [this](std::span<com::Variant>) {
        fake().fire(card::eventid::PositionChange, {com::Variant::i4(30), com::Variant::i4(60)});
        barAt_ = w().working()->pgbWorking()->value();
    };
    dialogs_.expect("書き込みが終了しました。");
    w().cmdWrite_Click();
    EXPECT_EQ(barAt_, 250);  // the last step's base and half of the transfer
}

TEST_F(Write, TheDefaultScheduleTakesItsPatternNamesAlong) {
    // Service mode: the user unticks the schedule, which clears the pattern names with it.
    gfServiceMode = vbTrue;
    open(6);
    ASSERT_TRUE(w().chkSchedule->isChecked());
    QTest::mouseClick(w().chkSchedule, Qt::LeftButton, {}, QPoint(8, w().chkSchedule->height() / 2));
    ASSERT_FALSE(w().chkSchedule->isChecked());
    // Outside service mode the page selects the schedule again, and the card gets the names too.
    gfServiceMode = vbFalse;
    open(6);
    EXPECT_TRUE(w().chkSchedule->isChecked());
    card::WriteModeRecord written{};
    fake().onCall[WriteCardData] = [&](std::span<com::Variant> args) {
        const std::string image = shelltest::readFile(args[0].asString());
        ASSERT_GE(image.size(), card::kWriteModeAt + written.size());
        std::copy_n(image.begin() + card::kWriteModeAt, written.size(), written.begin());
    };
    dialogs_.expect("書き込みが終了しました。");
    QTest::mouseClick(w().cmdWrite, Qt::LeftButton);
    EXPECT_EQ(written[card::kRecordSchedule], 4);
    EXPECT_EQ(written[card::kRecordPatternNames], 4);
}

}  // namespace
}  // namespace cardtest
