#pragma once
// The main window frmMain: the parent of every window of the program, and the host of the
// wizard's pages (wizard/host.h). Its load runs the start-up and its unload the shut-down. It holds the wizard's step bar picWizard, the
// step dispatcher, the document operations and the debug strip picStatus.
//
// "Wizard" names two things: the step bar of this window (msbShowWizard builds it) and
// the start screen frmWizard, the menu that starts a wizard.
#include <array>
#include <memory>
#include <string>

#include <QMainWindow>

#include "wizard/host.h"
#include "wizard/pages.h"

class QLabel;
class QMenu;
class QAction;

namespace shell {
class PageMenus;
class SingleInstance;
}
class frmWizard;

class frmMain : public QMainWindow, public wizard::Host {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The start-up; ends the program itself on every early end.
    void MDIForm_Load();
    // Unloading by the program (the exit step): runs the shut-down and closes the window.
    void unloadByProgram();
    bool isUnloaded() const { return unloaded_; }

    // ---- Wizard step bar and dispatcher ----
    void msbShowWizard(int iMenuNo);
    void msbShowNext() override;
    void msbShowBack() override;
    void msbWizardEnable(bool fEnable) override;
    void setStepBarEnabled(bool on) override;
    // A click on step label Index; errors end the click with a report, never a frozen window.
    void lblWizard_Click(int index);

    int currentMenu() const { return menuNo_; }
    int currentStep() const { return stepNo_; }
    QLabel* lblWizard(int index) const;
    QLabel* lblHighlight() const { return lblHighlight_; }
    QWidget* picWizard() const { return picWizard_; }
    QWidget* picStatus() const { return picStatus_; }
    QLabel* lblFileName() const { return lblFileName_; }
    QLabel* lblUserName() const { return lblUserName_; }
    QLabel* lblDatabase() const { return lblDatabase_; }
    QWidget* clientArea() const { return client_; }
    frmWizard* startScreen() const { return wizard_; }
    wizard::Page* activePage() const override { return page_; }
    QWidget* hostWindow() override { return this; }
    QAction* mnuHelpFimware() const { return mnuHelpFimware_; }
    QAction* mnuHelpBar1() const { return mnuHelpBar1_; }

    // ---- Documents ----
    void msbSetFileName(const std::string& sFileName) override;
    std::string shownFileName() const override;
    const std::string& fileName() const { return fileName_; }
    bool mfnfMakeNewFile() override;
    bool mfnfFileNew();
    bool mfnfFileOpen();
    bool mfnfLoadFile(const std::string& sPath);
    void mfnfWriteFile(const std::string& sPath);
    bool pfnfFileSave(const std::string& sFileName) override;
    bool mfnfFileChangeSave();
    bool mfnfRestoreFile();
    void msbSetBusy(bool fEnable);

    // ---- Debug strip ----
    void lblDatabase_DblClick();
    void lblUserName_DblClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void buildBar();
    void buildStatus();
    void startupDebugQuestion();
    void shutDown();
    void msbShowStep(int i);
    void dispatch(int g, int i, int previous);
    void backOut(int previous);
    void msbMoveHighlight(int i);
    std::string mfnsActiveFormName() const;
    void unloadActivePage();
    void showPage(int g);
    void showStartScreen();
    QLabel* label(int index) const;  // raises 340 outside 0..10

    std::unique_ptr<shell::SingleInstance> instance_;
    QWidget* picWizard_ = nullptr;
    QWidget* picStatus_ = nullptr;
    QWidget* client_ = nullptr;
    std::array<QLabel*, 11> lblWizard_{};
    QLabel* lblHighlight_ = nullptr;
    QLabel* lblFileName_ = nullptr;
    QLabel* lblDatabase_ = nullptr;
    QLabel* lblUserName_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    shell::PageMenus* pageMenus_ = nullptr;
    QAction* mnuHelpBar1_ = nullptr;
    QAction* mnuHelpFimware_ = nullptr;
    frmWizard* wizard_ = nullptr;
    wizard::Page* page_ = nullptr;
    int menuNo_ = 0;
    int stepNo_ = 0;
    std::string fileName_;
    bool closingByProgram_ = false;
    bool unloaded_ = false;
};

// The one main window of the run (set while it lives).
frmMain* mainWindow();

// The program's version, shown on the start screen.
inline constexpr int kAppMajor = 1;
inline constexpr int kAppMinor = 1;
