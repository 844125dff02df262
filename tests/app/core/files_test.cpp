// Paths, file tests, deletion and the user name.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QMainWindow>
#include <QCloseEvent>
#include <QApplication>

#include "core_fixture.h"

// Qt lets this one name mark an event as coming from the window system, as its test
// library does. sendEvent would clear the mark, so the test delivers through notify.
class QSpontaneKeyEvent {
public:
    static void setSpontaneous(QEvent* event) { event->setSpontaneous(); }
};

namespace {

using namespace forms;
using coretest::ProgramFolder;
using coretest::writeFile;

class Files : public ProgramFolder {};

TEST_F(Files, NamesOfAPath) {
    writeFile(dir_ / "doc.v2.kvp", "x");
    EXPECT_EQ(gfnsGetBaseName(file("doc.v2.kvp")), "doc.v2");
    EXPECT_EQ(gfnsGetFileName(file("doc.v2.kvp")), "doc.v2.kvp");
    // A missing file has a file name but no base name.
    EXPECT_EQ(gfnsGetBaseName(file("missing.kvp")), "");
    EXPECT_EQ(gfnsGetFileName(file("missing.kvp")), "missing.kvp");
    EXPECT_EQ(gfnsGetFileName("/a/b/"), "b");
    EXPECT_EQ(gfnsGetFileName("新規"), "新規");
}

TEST_F(Files, ExtensionIsTheLastPartInLowerCase) {
    EXPECT_EQ(gfnsGetExtension("a.b.TXT"), "txt");
    EXPECT_EQ(gfnsGetExtension("/x.y/file"), "");
    EXPECT_EQ(gfnsGetExtension("/x/CardData.Crd"), "crd");
    EXPECT_EQ(gfnsGetExtension("新規"), "");
}

TEST_F(Files, AddBackslashAppendsOneSeparator) {
    EXPECT_EQ(gfnsAddBackslash(""), "/");
    EXPECT_EQ(gfnsAddBackslash("/tmp"), "/tmp/");
    EXPECT_EQ(gfnsAddBackslash("/tmp/"), "/tmp/");
}

TEST_F(Files, FolderOfAPath) {
    writeFile(dir_ / "doc.kvp", "x");
    EXPECT_EQ(gfnsGetFolder(file("doc.kvp"), false), dir_.string() + "/");
    // A missing file: its folder as written, or the program folder when asked.
    EXPECT_EQ(gfnsGetFolder("/nowhere/sub/doc.kvp", false), "/nowhere/sub/");
    EXPECT_EQ(gfnsGetFolder("/nowhere/sub/doc.kvp", true), dir_.string() + "/");
    EXPECT_EQ(gfnsGetFolder("新規", true), dir_.string() + "/");
    EXPECT_EQ(gfnsGetFolder("/doc.kvp", false), "/");
}

TEST_F(Files, ABareNameIsNeverPlacedAtTheFileSystemRoot) {
    EXPECT_EQ(gfnsGetFolder("復元されたファイル", false), "./");
}

TEST_F(Files, AppPathIsTheProgramFolder) {
    EXPECT_EQ(gfnsAppPath(), dir_.string() + "/");
    setAppPathForTesting({});
    EXPECT_TRUE(gfnfFolderExists(gfnsAppPath()));
    EXPECT_EQ(gfnsAppPath().back(), '/');
}

TEST_F(Files, ExistenceOfFilesAndFolders) {
    writeFile(dir_ / "a.dat", "x");
    std::filesystem::create_directory(dir_ / "sub");
    EXPECT_TRUE(gfnfFileExists(file("a.dat")));
    EXPECT_FALSE(gfnfFileExists(file("sub")));
    EXPECT_FALSE(gfnfFileExists(file("none")));
    EXPECT_TRUE(gfnfFolderExists(file("sub")));
    EXPECT_FALSE(gfnfFolderExists(file("a.dat")));
}

TEST_F(Files, CheckFileAttrAcceptsOnlyAPlainWritableFile) {
    writeFile(dir_ / "plain.kvp", "x");
    writeFile(dir_ / "readonly.kvp", "x");
    ::chmod(file("readonly.kvp").c_str(), 0444);
    std::filesystem::create_directory(dir_ / "folder.kvp");
    std::filesystem::create_symlink(dir_ / "plain.kvp", dir_ / "alias.kvp");
    EXPECT_TRUE(gfnfCheckFileAttr(file("plain.kvp")));
    EXPECT_FALSE(gfnfCheckFileAttr(file("readonly.kvp")));
    EXPECT_FALSE(gfnfCheckFileAttr(file("folder.kvp")));
    EXPECT_FALSE(gfnfCheckFileAttr(file("alias.kvp")));
    EXPECT_FALSE(gfnfCheckFileAttr(file("missing.kvp")));
}

TEST_F(Files, DeleteFileRemovesEvenAReadOnlyFileAndIgnoresAMissingOne) {
    writeFile(dir_ / "readonly.dat", "x");
    ::chmod(file("readonly.dat").c_str(), 0444);
    gsbDeleteFile(file("readonly.dat"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "readonly.dat"));
    EXPECT_NO_THROW(gsbDeleteFile(file("missing.dat")));
    EXPECT_TRUE(dialogs_.shown().empty());
}

TEST_F(Files, DeleteFileThatCannotBeDeletedIsFatal) {
    std::filesystem::create_directories(dir_ / "busy" / "inner");
    dialogs_.expect("重大なエラー！\r\nNo.75");
    EXPECT_THROW(gsbDeleteFile(file("busy")), ProgramEnded);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "busy"));
}

TEST(UserName, IsTheNameOfTheProcessUser) {
    const std::string name = gfnvGetUserName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find('\0'), std::string::npos);
}

TEST(SysMenu, WithoutCloseTheWindowRefusesTheWindowSystemButNotTheProgram) {
    QMainWindow window;
    window.show();
    EXPECT_EQ(gfnlSetSysMenu(&window, kSysMenuClose, false), 1);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(window.isVisible());

    // The close box of the window system.
    QCloseEvent fromWindowSystem;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowSystem);
    fromWindowSystem.accept();
    qApp->notify(&window, &fromWindowSystem);  // delivered as the window system delivers it
    EXPECT_FALSE(fromWindowSystem.isAccepted());

    EXPECT_TRUE(window.close());  // the program's own exit still closes it
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(gfnlSetSysMenu(&window, 9, false), 0);
}

}  // namespace
