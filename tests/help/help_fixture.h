#pragma once
// The whole program in a fresh program folder with the help book of the build beside it,
// wired as its start wires it; helpers to read what the help window shows.
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTextBrowser>

#include <filesystem>
#include <string>

#include "../app/shell/shell_fixture.h"
#include "help/help.h"
#include "help/window.h"
#include "shell/program.h"

namespace helptest {

inline std::filesystem::path programBuild() { return shelltest::builtMasterDat().parent_path(); }

// Both names the program may ask for.
inline const char* const kBookNames[] = {"QPN_RDX.chm", "RDX.chm"};

// The page the help window shows, as "file#anchor", or "" without a window.
inline std::string shownPage() {
    const help::Window* w = help::openWindow();
    if (!w) return {};
    const QUrl url = w->page();
    const std::string name = std::filesystem::path(url.toLocalFile().toStdString()).filename().string();
    return url.hasFragment() ? name + "#" + url.fragment().toStdString() : name;
}

inline std::string shownTitle() {
    const help::Window* w = help::openWindow();
    return w ? w->browser()->documentTitle().toStdString() : std::string();
}

// Types into the widget that has the focus, one committed character a key.
inline void type(const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Opens a menu of a bar with the mouse and clicks the item of that caption in it.
inline void clickMenuItem(QMenuBar* bar, const QString& menuTitle, const QString& itemText) {
    QAction* menuAction = nullptr;
    for (QAction* a : bar->actions())
        if (a->isVisible() && a->text() == menuTitle) menuAction = a;
    ASSERT_NE(menuAction, nullptr) << menuTitle.toStdString();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
    QMenu* menu = menuAction->menu();
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 1000));
    QAction* item = nullptr;
    for (QAction* a : menu->actions())
        if (a->isVisible() && a->text() == itemText) item = a;
    ASSERT_NE(item, nullptr) << itemText.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QTest::qWait(0);
}

class ProgramWithHelp : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        static const bool wired = [] {
            shell::setUpProgram(std::filesystem::absolute(programBuild()).string());
            return true;
        }();
        (void)wired;
        for (const char* name : kBookNames)
            std::filesystem::create_directory_symlink(std::filesystem::absolute(programBuild() / name), dir_ / name);
    }
    void TearDown() override {
        help::closeAll();
        QTest::qWait(0);
        ProgramFolder::TearDown();
    }
};

}  // namespace helptest
