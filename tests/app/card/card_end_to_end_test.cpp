// The card window with the real control, driver and emulated reader: a blank card is
// initialised, a document written to it and read back into a new document.
#ifdef KV_CARD_END_TO_END
#include <cstdlib>
#include <filesystem>

#include "../shell/shell_fixture.h"
#include "card/window.h"
#include "com/registry.h"
#include "devices/system.h"
#include "shell/reader_bus.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace cardtest {
namespace {

// A device stack of the test's own, with a blank emulated card, kept for the process. The
// main window's start-up finds no driver in the test's program folder and adds nothing.
// The stack is never torn down: it lives as long as the program's own would.
void startEmulatedReader() {
    static devices::System* system = nullptr;
    if (system) return;
    const auto card = std::filesystem::path(::testing::TempDir()) / ("card-window-" + std::to_string(getpid()) + ".img");
    std::filesystem::remove(card);
    setenv("RDX_EMULATOR_CARD", card.c_str(), 1);
    setenv("RDX_EMULATOR_TIMING", "fast", 1);
    const std::string folder = shelltest::builtMasterDat().parent_path().string();
    system = new devices::System(folder, shell::readerBus(folder));
    unsetenv("RDX_EMULATOR_CARD");
    ASSERT_NE(shell::emulatedReader(), nullptr) << system->error();
}

class EndToEnd : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        startEmulatedReader();
        com::registerLibraryClass(card::kControlClass, shelltest::builtMasterDat().parent_path() / "libRDXKVM58.so");
        wizard::registerPage(5, [](QWidget* p) { return new frmCard(p); });
        started();
    }
    void TearDown() override {
        page_.reset();
        wizard::registerPage(5, {});
        com::unregisterClass(card::kControlClass);
        ProgramFolder::TearDown();
    }
    std::unique_ptr<frmCard> page_;
};

TEST_F(EndToEnd, ADocumentWrittenToACardReadsBackEqual) {
    // A blank card: the window offers to initialise it.
    dialogs_.expect("今すぐ初期化しますか？", forms::vbYes).expect("初期化が完了しました。");
    page_ = std::make_unique<frmCard>(main_->clientArea());
    page_->msbShowForm(7, 0);
    ASSERT_EQ(dialogs_.pending(), 0u);
    EXPECT_TRUE(page_->lblCardError->isHidden()) << page_->lblCardError->text().toStdString();
    page_.reset();

    // The document: a card name and the schedule.
    ASSERT_TRUE(main_->mfnfMakeNewFile());
    page_ = std::make_unique<frmCard>(main_->clientArea());
    page_->msbShowForm(6, 0);
    if (!page_->chkCardName->isChecked()) page_->chkCardName->click();
    page_->txtCardName[0]->setText("東京本社");
    dialogs_.expect("書き込みが終了しました。");
    page_->cmdWrite_Click();
    ASSERT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(page_->lblCardName->text().toStdString(), "東京本社");
    EXPECT_FALSE(exists("CardData.crd"));
    page_.reset();
    gfChanged = vbFalse;

    // Read back through the wizard's read page.
    main_->msbShowWizard(3);
    auto* read = dynamic_cast<frmCard*>(main_->activePage());
    ASSERT_NE(read, nullptr);
    read->cmdRead_Click();
    EXPECT_EQ(main_->fileName(), "カードデータ");
    dao::Database db = dao::Database::open(file("Regist.dat"));
    auto rs = db.openRecordset("SELECT fldComment FROM tblCardWrite WHERE fldBlockNo = 224");
    EXPECT_EQ(rs["fldComment"].toText(), "東京本社");
}

}  // namespace
}  // namespace cardtest
#endif
