#include "journey.h"

#include <unistd.h>

#include <QPointer>

#include <cstdlib>
#include <fstream>

#include "core/database.h"
#include "core/file_header.h"
#include "core/patterns.h"
#include "shell/start_screen.h"

namespace journey {

namespace {

std::filesystem::path programBuild() { return shelltest::builtMasterDat().parent_path(); }

}  // namespace

void Journey::SetUp() {
    ProgramFolder::SetUp();
    // The program's wiring, once per process as at its start.
    static const bool wired = [] {
        shell::setUpProgram(std::filesystem::absolute(programBuild()).string());
        return true;
    }();
    (void)wired;
    // The device stack loads the driver from the program folder and plugs in the emulated
    // reader. It lives as long as the process, as the program's does.
    std::filesystem::create_directory_symlink(std::filesystem::absolute(programBuild() / "Drivers"), dir_ / "Drivers");
    cardFile_ = (std::filesystem::temp_directory_path() / ("kv-journey-card-" + std::to_string(getpid()) + ".img")).string();
    ::setenv("RDX_EMULATOR_CARD", cardFile_.c_str(), 1);
    ::setenv("RDX_EMULATOR_TIMING", "fast", 1);
    started();
    ASSERT_EQ(dialogs_.pending(), 0u);
    // Every journey starts with a blank card in the reader, as it comes from the shop.
    reader().pull();
    reader().insert(std::make_shared<emulator::Card>());
    settle();
    ASSERT_EQ(where(), "start");
}

void Journey::TearDown() {
    settle();
    ProgramFolder::TearDown();
    std::error_code ec;
    std::filesystem::remove(cardFile_, ec);
}

emulator::Reader& Journey::reader() const {
    // The program brings its stack up with its first card control; a journey needs the reader
    // before that, so it starts the same stack, which the program then finds running.
    if (!shell::emulatedReader()) {
        const devices::System& system = devices::startSystem(gstrDataPath, shell::readerBus(gstrDataPath));
        if (!shell::emulatedReader()) throw std::logic_error("no emulated reader: " + system.error());
    }
    return *shell::emulatedReader();
}

void Journey::settle() { QTest::qWait(0); }

void Journey::click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isVisible()) << w->objectName().toStdString();
    ASSERT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    // A click on a window that lost activation (to a progress window since closed)
    // activates it, as the window manager does.
    if (!w->isActiveWindow()) {
        w->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w->window()));
    }
    const QPointer<QWidget> target(w);
    QTest::mouseClick(w, Qt::LeftButton);
    // Whatever the click closes goes once its event has returned, never inside it.
    EXPECT_FALSE(target.isNull()) << "destroyed inside its own click";
    settle();
}

QAbstractButton* Journey::button(const std::string& caption) const {
    const QString text = QString::fromStdString(caption);
    for (QAbstractButton* b : main_->findChildren<QAbstractButton*>())
        if (b->text() == text && b->isVisible()) return b;
    return nullptr;
}

void Journey::press(const std::string& caption) {
    QAbstractButton* b = button(caption);
    ASSERT_NE(b, nullptr) << "no button " << caption << " at " << where();
    click(b);
}

void Journey::type(const std::string& text) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    // One key per character, each carrying its text as a committed character does.
    for (const QChar c : QString::fromStdString(text))
        QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_unknown, QString(c), Qt::NoModifier);
    settle();
}

std::string Journey::where() const {
    if (main_->isUnloaded()) return "closed";
    if (main_->startScreen()->isVisible()) return "start";
    return main_->lblHighlight()->text().toStdString();
}

void Journey::chooseMenu(int menu, const std::string& step) {
    ASSERT_EQ(where(), "start");
    arrive(step);
    click(main_->startScreen()->cmdItem(menu - 1));
    if (HasFatalFailure()) return;
    ASSERT_EQ(where(), step) << "menu " << menu;
    ASSERT_EQ(dialogs_.pending(), 0u) << "at " << step;
}

void Journey::arrive(const std::string& step) {
    const auto it = boxesAt_.find(step);
    if (it == boxesAt_.end()) return;
    for (const Box& b : it->second) dialogs_.expect(b.prompt, b.answer);
}

void Journey::walk(const std::string& caption, const std::vector<std::string>& steps) {
    for (const std::string& step : steps) {
        arrive(step);
        press(caption);
        if (HasFatalFailure()) return;
        ASSERT_EQ(where(), step) << "after " << caption;
        ASSERT_EQ(dialogs_.pending(), 0u) << "at " << step;
    }
}

void Journey::exitProgram() {
    chooseMenu(6, "closed");
    EXPECT_EQ(where(), "closed");
    EXPECT_FALSE(main_->isVisible());
    for (const char* name : {"Regist.dat", "TempDB.dat", "Temp.dat", "CardData.crd"})
        EXPECT_FALSE(exists(name)) << name;
    EXPECT_EQ(dialogs_.pending(), 0u);
}

// A document file of the user's that passes the data check: every weekday, the holiday
// and a special-day pattern with steps, channel names, a named special pattern and
// special days in the months the calendar opens on.
std::string Journey::richDocument() {
    const std::string work = file("rich.dat");
    createDocumentFromMaster(work);
    gsbOpenDatabase(gdbWork, work);
    const auto steps = [](int pattern, std::initializer_list<std::array<int, 3>> rows) {
        for (const auto& s : rows)
            gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                            {pattern, s[0], s[1], s[2]});
    };
    steps(1, {{{10, 0, 1}}});
    for (int weekday = 2; weekday <= 6; ++weekday) steps(weekday, {{{8, 30, 1}}, {{12, 0, 2}}, {{17, 15, 3}}});
    steps(7, {{{9, 0, 1}}, {{13, 0, 0}}});
    steps(8, {{{10, 0, 4}}});
    steps(9, {{{9, 0, 5}}, {{15, 30, 2}}});
    gdbWork.execute("UPDATE tblBase SET fldPattern = 2 WHERE fldWeek BETWEEN 2 AND 6");
    gdbWork.execute("UPDATE tblBase SET fldPattern = 7 WHERE fldWeek = 7");
    gdbWork.execute("UPDATE tblDayPattern SET fldName = '棚卸し' WHERE fldNo = 9");
    gdbWork.execute("UPDATE tblMessage SET fldComment = '始業チャイム', fldUse = -1 WHERE fldCh = 1");
    gdbWork.execute("UPDATE tblMessage SET fldComment = '昼休み', fldUse = -1 WHERE fldCh = 2");
    gdbWork.execute("UPDATE tblMessage SET fldUse = -1 WHERE fldCh IN (3, 4, 5)");
    for (const auto& [y, m, d] : {std::array<int, 3>{2026, 12, 28}, {2027, 1, 15}, {2027, 2, 3}})
        gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (?1, ?2, ?3, 9, '棚卸し')",
                        {y, m, d});
    gfniGetFreePattern();  // the derived flags of the patterns
    gsbCloseDatabase(gdbWork);

    const std::string path = file("本社.kvp");
    {
        std::ofstream out(path, std::ios::binary);
        gsbWriteFileHeader(out);
        out << std::string(kHeaderSize - kHeaderWrittenBytes, '\0') << shelltest::readFile(work);
    }
    gsbSetFileCode(path);
    std::filesystem::remove(work);
    return path;
}

}  // namespace journey
