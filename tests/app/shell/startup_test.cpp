// Start-up and shut-down: the installation check stage by stage, the single-user lock,
// one instance per program folder, the debug question, and the exit.
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "core/files.h"
#include "shell_fixture.h"

namespace {

using shelltest::ProgramFolder;

struct CheckCase {
    const char* name;
    std::function<void(ProgramFolder&)> breakIt;
    const char* message;  // part of the message shown; nullptr = the check passes
};

class EnvironmentCheck : public ProgramFolder {
public:
    void breakWith(const CheckCase& c) { c.breakIt(*this); }
};

TEST_F(EnvironmentCheck, EachStageFailsWithItsMessageAndEndsTheProgram) {
    constexpr double kMb = 1048576.0;
    const std::vector<CheckCase> cases = {
        {"no Master.dat", [](ProgramFolder& f) { std::filesystem::remove(f.dir_ / "Master.dat"); },
         "見つかりません。\r再インストール"},
        {"exactly 5 MB free", [](ProgramFolder&) { shell::setFreeSpaceForTesting([=] { return 5 * kMb; }); },
         "空容量が少ない"},
        {"one byte over 5 MB", [](ProgramFolder&) { shell::setFreeSpaceForTesting([=] { return 5 * kMb + 1; }); },
         nullptr},
        {"not a database", [](ProgramFolder& f) { shelltest::writeFile(f.dir_ / "Master.dat", std::string(4096, 'x')); },
         "(Master.dat)が壊れている"},
        {"no tblOption", [](ProgramFolder& f) { f.master("DROP TABLE tblOption"); }, "(Master.dat)が壊れている"},
        {"no program name", [](ProgramFolder& f) { f.master("DELETE FROM tblOption WHERE fldOptionItem = 'ソフト名'"); },
         "の内容が違います"},
        {"other program name",
         [](ProgramFolder& f) { f.master("UPDATE tblOption SET fldOptionValue = 'X' WHERE fldOptionItem = 'ソフト名'"); },
         "の内容が違います"},
        {"other version",
         [](ProgramFolder& f) { f.master("UPDATE tblOption SET fldOptionValue = '100' WHERE fldOptionItem = 'バージョン'"); },
         "のバージョンが違います"},
        {"no mode row", [](ProgramFolder& f) { f.master("DELETE FROM tblOption WHERE fldOptionItem = '動作モード'"); },
         "のバージョンが違います"},
        {"no tblSetting", [](ProgramFolder& f) { f.master("DROP TABLE tblSetting"); }, "(Master.dat)が壊れている"},
        {"no tblCardWrite", [](ProgramFolder& f) { f.master("DROP TABLE tblCardWrite"); }, "(Master.dat)が壊れている"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        breakWith(c);
        if (c.message) {
            dialogs_.expect(c.message, forms::vbOK);
            EXPECT_THROW(mfnfCheckEnvironment(), forms::ProgramEnded);
            EXPECT_EQ(dialogs_.pending(), 0u);
        } else {
            EXPECT_NO_THROW(mfnfCheckEnvironment());
        }
        EXPECT_FALSE(gdbWork.isOpen());
    }
}

TEST_F(EnvironmentCheck, ModeRowTSwitchesBrandModeOn) {
    master("UPDATE tblOption SET fldOptionValue = 'T' WHERE fldOptionItem = '動作モード'");
    mfnfCheckEnvironment();
    EXPECT_TRUE(gfBrandMode);
}

TEST_F(EnvironmentCheck, StartWithoutMasterShowsReinstallNotAnEngineError) {
    // The lock runs before the check; it must leave a missing Master.dat to the check.
    std::filesystem::remove(dir_ / "Master.dat");
    dialogs_.expect("再インストールしてください", forms::vbOK);
    EXPECT_THROW(started(), forms::ProgramEnded);
    EXPECT_EQ(dialogs_.shown().size(), 1u);
    EXPECT_FALSE(exists("Master.dat"));
}

TEST_F(EnvironmentCheck, StartWithCorruptMasterShowsBrokenMessage) {
    shelltest::writeFile(dir_ / "Master.dat", std::string(8192, '\x5a'));
    dialogs_.expect("が壊れている可能性", forms::vbOK);
    EXPECT_THROW(started(), forms::ProgramEnded);
    EXPECT_EQ(dialogs_.shown().size(), 1u);
}

struct LockCase {
    bool registLeftOver;
    const char* holder;  // "<me>" for the current user
    bool asks;
    int answer;
    bool result;
    const char* storedAfter;
};

TEST_F(ProgramFolder, UserLockTruthTable) {
    const std::string me = gfnvGetUserName();
    const std::vector<LockCase> cases = {
        {true, "<me>", false, 0, true, "<me>"},
        {true, "", true, forms::vbYes, true, "<me>"},
        {true, "other", true, forms::vbNo, false, "other"},
        {false, "<me>", false, 0, true, "<me>"},
        {false, "", false, 0, true, "<me>"},
        {false, "other", true, forms::vbYes, true, "<me>"},
        {false, "other", true, forms::vbNo, false, "other"},
    };
    auto resolve = [&](const char* s) { return std::string(s) == "<me>" ? me : std::string(s); };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.registLeftOver ? "left over, " : "none, ") + c.holder);
        TearDown();
        SetUp();
        if (c.registLeftOver) shelltest::writeFile(dir_ / "Regist.dat", "x");
        master("UPDATE tblOption SET fldOptionValue = '" + resolve(c.holder) + "' WHERE fldOptionItem = '使用ユーザー'");
        const std::size_t shownBefore = dialogs_.shown().size();
        if (c.asks) {
            const std::string named = *c.holder ? "'" + resolve(c.holder) + "'" : "'(不明なユーザー)'";
            dialogs_.expect(named + " さんが使用しています。", c.answer);
        }
        EXPECT_EQ(mfnfUserLock(true), c.result);
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(dialogs_.shown().size() - shownBefore, c.asks ? 1u : 0u);
        EXPECT_EQ(option("使用ユーザー"), resolve(c.storedAfter));
    }
}

TEST_F(ProgramFolder, UserLockAtExitFreesOnlyOurOwn) {
    master("UPDATE tblOption SET fldOptionValue = 'other' WHERE fldOptionItem = '使用ユーザー'");
    EXPECT_TRUE(mfnfUserLock(false));
    EXPECT_EQ(option("使用ユーザー"), "other");
    master("UPDATE tblOption SET fldOptionValue = '" + gfnvGetUserName() + "' WHERE fldOptionItem = '使用ユーザー'");
    EXPECT_TRUE(mfnfUserLock(false));
    EXPECT_EQ(option("使用ユーザー"), "");
}

TEST_F(ProgramFolder, UserLockRowIsCreatedWhenMissing) {
    master("DELETE FROM tblOption WHERE fldOptionItem = '使用ユーザー'");
    EXPECT_TRUE(mfnfUserLock(true));
    EXPECT_EQ(option("使用ユーザー"), gfnvGetUserName());
}

TEST_F(ProgramFolder, OneInstancePerProgramFolder) {
    {
        frmMain& first = started();
        (void)first;
        frmMain second;
        dialogs_.expect("すでに起動しています", forms::vbOK);
        EXPECT_THROW(second.MDIForm_Load(), forms::ProgramEnded);
        EXPECT_FALSE(second.isVisible()) << "a second copy shows no window of its own";
        // The running instance is not disturbed.
        EXPECT_EQ(option("使用ユーザー"), gfnvGetUserName());
    }
    main_->unloadByProgram();
    shell::SingleInstance again(gfnsAppPath());
    EXPECT_TRUE(again.acquired());
}

TEST_F(ProgramFolder, ATestStartsFromTheTemplateAndLeavesNoInstanceLockBehind) {
    const auto canonical = [](const std::filesystem::path& p) { return std::filesystem::weakly_canonical(p); };
    EXPECT_NE(canonical(shelltest::templateMasterDat()), canonical(shelltest::builtMasterDat()));
    EXPECT_EQ(option("使用ユーザー"), "");
    started();
    const std::string lock = shell::SingleInstance::lockPath(gfnsAppPath());
    EXPECT_TRUE(std::filesystem::exists(lock));
    TearDown();
    EXPECT_FALSE(std::filesystem::exists(lock));
    SetUp();
}

TEST_F(ProgramFolder, StartShowsStartScreenWithSixMenusAndWritesTheLock) {
    frmMain& m = started();
    EXPECT_TRUE(m.isVisible());
    EXPECT_TRUE(m.startScreen()->isVisible());
    EXPECT_FALSE(m.picWizard()->isVisible());
    EXPECT_FALSE(m.picStatus()->isVisible());
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(m.startScreen()->cmdItemTag(i).isEmpty()) << i;
    EXPECT_EQ(option("使用ユーザー"), gfnvGetUserName());
    EXPECT_EQ(m.windowTitle().toStdString(), std::string(kAppTitle));
    EXPECT_TRUE(m.isEnabled());
}

TEST_F(ProgramFolder, StandardDialogsSpeakJapaneseAfterStart) {
    started();
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const std::pair<QMessageBox::StandardButton, const char*> buttons[] = {
        {QMessageBox::Yes, "はい(&Y)"}, {QMessageBox::No, "いいえ(&N)"}, {QMessageBox::Cancel, "キャンセル"}};
    for (const auto& [button, text] : buttons) EXPECT_EQ(box.button(button)->text().toStdString(), text);

    QFileDialog open(nullptr, "t");
    open.setOption(QFileDialog::DontUseNativeDialog);
    open.setFileMode(QFileDialog::Directory);
    auto* answers = open.findChild<QDialogButtonBox*>();
    ASSERT_NE(answers, nullptr);
    EXPECT_EQ(answers->button(QDialogButtonBox::Cancel)->text().toStdString(), "キャンセル");
    EXPECT_EQ(open.labelText(QFileDialog::LookIn).toStdString(), "アドレス:");
}

TEST_F(ProgramFolder, DebugQuestionAtStart) {
    struct Case {
        std::size_t logSize;
        bool marker;
        int answer;
        bool logKept;
        bool logMode;
    };
    const std::vector<Case> cases = {
        {1048576, false, forms::vbNo, true, true},
        {1048577, false, forms::vbNo, false, true},  // deleted before the question, then written again
        {10, false, forms::vbYes, false, false},
        {10, true, forms::vbYes, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.logSize) + (c.marker ? " marker" : "") + (c.answer == forms::vbYes ? " yes" : " no"));
        TearDown();
        SetUp();
        shelltest::writeFile(dir_ / "Soft.log", std::string(c.logSize, 'a'));
        if (c.marker) shelltest::writeFile(dir_ / "frmMain.frm", "");
        dialogs_.expect("デバッグモードを解除しますか？", c.answer);
        frmMain& m = started();
        EXPECT_EQ(gintLogMode != 0, c.logMode);
        EXPECT_EQ(gfServiceMode != 0, c.logMode);
        EXPECT_EQ(m.picStatus()->isVisibleTo(&m), c.logMode);
        EXPECT_EQ(exists("Soft.log"), c.logKept || c.logMode);
        if (c.logSize == 1048577) {
            EXPECT_LT(std::filesystem::file_size(dir_ / "Soft.log"), 1048576u) << "oversized log dropped";
        }
        if (c.logSize == 1048576) {
            EXPECT_GE(std::filesystem::file_size(dir_ / "Soft.log"), 1048576u);
        }
    }
}

TEST_F(ProgramFolder, RestoreOffer) {
    // A good left-over document: restored, named, changed, and the restore menu opens.
    createDocumentFromMaster(file("Regist.dat"));
    master("UPDATE tblOption SET fldOptionValue = '" + gfnvGetUserName() + "' WHERE fldOptionItem = '使用ユーザー'");
    dialogs_.expect("壊れたファイルを復元しますか？", forms::vbYes);
    frmMain& m = started();
    EXPECT_EQ(m.fileName(), "復元されたファイル");
    EXPECT_TRUE(gfChanged);
    EXPECT_EQ(m.currentMenu(), 0);
    EXPECT_FALSE(m.startScreen()->isVisible());
    EXPECT_FALSE(m.startScreen()->tmrNow()->isEnabled());
    EXPECT_TRUE(exists("Regist.dat"));
}

TEST_F(ProgramFolder, RestoreOfferDeclinedOrBroken) {
    master("UPDATE tblOption SET fldOptionValue = '" + gfnvGetUserName() + "' WHERE fldOptionItem = '使用ユーザー'");
    shelltest::writeFile(dir_ / "Regist.dat", std::string(4096, 'z'));
    dialogs_.expect("壊れたファイルを復元しますか？", forms::vbNo);
    frmMain& m = started();
    EXPECT_TRUE(exists("Regist.dat")) << "kept until the start screen's show";
    EXPECT_TRUE(m.startScreen()->isVisible());
    dialogs_.expect("壊れたファイルを復元しますか？", forms::vbYes).expect("壊れたファイルは復元できませんでした。");
    EXPECT_FALSE(m.mfnfRestoreFile());
    EXPECT_FALSE(exists("Regist.dat"));
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(ProgramFolder, ExitStepShutsDown) {
    frmMain& m = started();
    createDocumentFromMaster(file("Regist.dat"));
    for (const char* name : {"TempDB.dat", "Temp.dat", "CardData.crd"}) shelltest::writeFile(dir_ / name, "x");
    // Slack in Master.dat that the compaction removes.
    master("CREATE TABLE tblJunk (x TEXT)");
    for (int i = 0; i < 50; ++i) master("INSERT INTO tblJunk VALUES ('" + std::string(1000, 'j') + "')");
    master("DROP TABLE tblJunk");
    const auto before = std::filesystem::file_size(dir_ / "Master.dat");
    m.startScreen()->cmdItem_Click(5);  // menu 6: exit
    EXPECT_TRUE(m.isUnloaded());
    EXPECT_FALSE(m.isVisible());
    EXPECT_EQ(option("使用ユーザー"), "");
    EXPECT_LT(std::filesystem::file_size(dir_ / "Master.dat"), before);
    for (const char* name : {"Regist.dat", "TempDB.dat", "Temp.dat", "CardData.crd"}) EXPECT_FALSE(exists(name)) << name;
    shell::SingleInstance again(gfnsAppPath());
    EXPECT_TRUE(again.acquired());
}

TEST_F(ProgramFolder, UserCloseIsRefusedProgramCloseProceeds) {
    frmMain& m = started();
    EXPECT_FALSE(m.close());
    EXPECT_TRUE(m.isVisible());
    EXPECT_FALSE(m.isUnloaded());
    m.unloadByProgram();
    EXPECT_FALSE(m.isVisible());
}

}  // namespace
