#pragma once
// The card window frmCard: one page for every card step of the wizard (read 5, write 6,
// copy and initialise 7, messages 8, firmware 20). It hosts the card control crdKVM58,
// shows what is in the reader, and runs the card operations behind its buttons.
#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "card/card_control.h"
#include "com/dispatch.h"
#include "wizard/pages.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QAction;
class frmWorking;
namespace forms {
class Grid;
class Timer;
}

namespace card {

// Registers the card pages with the wizard and the control's library with the class
// registry. The program calls it once at start.
void registerPages();
// The control's library in the program folder only.
void registerControlLibrary();

// Services of other windows that the card window calls; each has a harmless default
// until its window registers it.
// frmError.gfnfCheckDataError(iMode): false when the document has errors (then listed).
void setDataCheck(std::function<bool(int)> check);
// The pattern overview, read-only (frmPatternCopy.mfnfShowForm(1, 1)).
void setPatternViewer(std::function<void()> show);
// Printing of the card report: gsbShowPrinter(iMode, service flag).
void setCardPrinter(std::function<void(int, int)> print);
// A stand-in for the folder chooser frmGetFolder.mfnsGetFolder(sDefault, sNewFolder, iIndex):
// the chosen folder, or "" when cancelled. Without one the card window opens frmGetFolder.
void setFolderChooser(std::function<std::string(const std::string&, const std::string&, int)> choose);
// The roots of the drives searched for the firmware disc; tests name their own.
void setDriveRootsForTesting(std::function<std::vector<std::string>()> roots);

}  // namespace card

class frmCard : public wizard::Page, private com::EventSink {
public:
    explicit frmCard(QWidget* parent = nullptr);
    ~frmCard() override;
    void unloadPage() override;  // Form_Unload

    // ---- Pages and layout ----
    void msbShowForm(int iFormNo, int iMenuNo) override;
    void leavePage() override;
    void resumePage() override;
    int formNo() const { return mintFormNo_; }
    card::CardCtl& crdKVM58() { return *crd_; }

    // ---- Handlers ----
    void cmdBack_Click();
    void cmdNext_Click();
    void cmdRefresh_Click();
    void cmdPattern_Click();
    void lblCardError_DblClick();
    void lblCardName_DblClick();
    void mnuPrintPrint_Click();
    void mnuHelpContents_Click();
    void mnuHelpKeyWord_Click();
    void mnuHelpWindow_Click();
    void cmdRead_Click();
    void cmdWrite_Click();
    void cmdInitial_Click();
    void cmdCopy_Click();
    void chkSchedule_Click();
    void chkMessage_Click();
    void chkCardName_Click();
    void chkSetting_Click();
    void txtCardName_LostFocus(int index);

    // ---- The message page ----
    // > 0 the accepted message file's data length; 0 not such a file; -1 unreadable.
    std::int32_t mfnlCheckWaveFile(const std::string& sFileName);
    std::int32_t waveStart() const { return mlngWaveStart_; }
    std::int32_t waveLength() const { return mlngWaveLength_; }
    void cmdOpenFile_Click();
    void lblCh_Change();
    void selectChannel(int ch);
    void tabMessage_Click();
    void optWriteMode_Click(int index);
    void cboMessage_Click();
    void cmdDo_Click();
    void cmdErease_Click();
    void sstCardMsg_DblClick(int col, int row);
    void txtMsgName_Change();
    void txtCardName_Change(int index);
    void txtMsgName_LostFocus();
    void cmdWriteProgram_Click();
    void cmdEraseProgram_Click();
    void cmdPlay_Click(int index);
    void cmdStop_Click(int index);
    void cmdFolder_Click(int index);
    void cmdSave_Click();
    void cmdRestore_Click();

    // ---- Events of the control ----
    void crdKVM58_StatusChange(std::int32_t lStatus);
    void crdKVM58_PositionChange(std::int32_t lPosition, std::int32_t lTotalLength);
    void crdKVM58_ModeChange(std::int32_t lMode);

    // The progress window while an operation runs.
    frmWorking* working() const { return frmWorking_.get(); }
    long workingBase() const { return mlngWorkingBase_; }
    long workingLength() const { return mlngWorkingLength_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    // ---- Controls ----
    QMenuBar* menuBar = nullptr;
    QMenu* mnuPrint = nullptr;
    QAction* mnuPrintPrint = nullptr;
    QMenu* mnuHelp = nullptr;
    QWidget* body = nullptr;  // everything below the menu bar

    QGroupBox* fraCard = nullptr;
    QWidget* fraCardInfo = nullptr;
    QWidget* fraCardName = nullptr;
    QGroupBox* fraCardSchedule = nullptr;
    QGroupBox* fraCardSetting = nullptr;
    QGroupBox* fraCardMessage = nullptr;
    QGroupBox* fraCardFirmware = nullptr;
    QLabel* lblCardError = nullptr;
    QLabel* lblCardStatus = nullptr;
    QLabel* lblCardName = nullptr;
    QLabel* lblSize = nullptr;
    QLabel* lblCardTime = nullptr;
    QLabel* lblCardRemain = nullptr;
    QLabel* lblCardVersion = nullptr;
    QLabel* lblPCVersion = nullptr;
    QLabel* lblCScheduleTitle = nullptr;
    QLabel* lblCScheduleUpdate = nullptr;
    QLabel* lblCSettingUpdate = nullptr;
    forms::Grid* sstCardSchedule = nullptr;
    forms::Grid* sstCardMsg = nullptr;
    forms::Grid* sstCardFirmware = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QLabel* picLoadMessage = nullptr;
    std::array<QLineEdit*, 2> txtCardName{};  // 0 the document's name (write page), 1 the card's

    QGroupBox* fraWrite = nullptr;
    QGroupBox* fraWriteSetting = nullptr;
    QGroupBox* fraWriteMessage = nullptr;
    QCheckBox* chkSchedule = nullptr;
    QCheckBox* chkSetting = nullptr;
    QCheckBox* chkMessage = nullptr;
    QCheckBox* chkCardName = nullptr;
    QPushButton* cmdPattern = nullptr;
    QLabel* lblWScheduleUpdate = nullptr;
    QLabel* lblWSettingUpdate = nullptr;
    forms::Grid* sstWriteSchedule = nullptr;
    forms::Grid* sstWriteMsg = nullptr;

    QGroupBox* fraAction = nullptr;
    QGroupBox* fraCopy = nullptr;
    QCheckBox* chkCopyProgram = nullptr;
    QCheckBox* chkCopySetting = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdInitial = nullptr;
    QGroupBox* fraProgram = nullptr;
    QPushButton* cmdWriteProgram = nullptr;
    QPushButton* cmdEraseProgram = nullptr;
    QLabel* lblHint = nullptr;

    QTabWidget* tabMessage = nullptr;
    QWidget* fraEditMessage = nullptr;
    QPushButton* cmdDo = nullptr;
    QPushButton* cmdErease = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdRestore = nullptr;
    std::array<QPushButton*, 2> cmdPlay{};
    std::array<QPushButton*, 3> cmdStop{};
    QComboBox* cboSpeed = nullptr;
    std::array<QRadioButton*, 4> optWriteMode{};  // 1 replace, 3 write a file
    std::array<QRadioButton*, 2> optErease{};     // 0 the channel, 1 all
    QLabel* lblMsgData = nullptr;
    QLabel* lblMsgTime = nullptr;
    QLabel* lblReplace = nullptr;
    QLabel* lblFileHint = nullptr;
    QComboBox* cboMessage = nullptr;
    QPushButton* cmdOpenFile = nullptr;
    QLineEdit* txtMsgName = nullptr;
    forms::Timer* tmrSound = nullptr;
    std::array<QLabel*, 2> lblFolder{};
    std::array<QPushButton*, 2> cmdFolder{};

    QPushButton* cmdBack = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdRead = nullptr;
    QPushButton* cmdWrite = nullptr;

    QWidget* crdWindow = nullptr;  // the control's own window, when it has one
    QLabel* lblCh = nullptr;
    QLabel* lblWriteMode = nullptr;
    QLabel* lblMode = nullptr;
    QLabel* lblPosition = nullptr;
    QLabel* lblLength = nullptr;
    QLabel* lblMsgPlay = nullptr;
    QLabel* lblMsgLength = nullptr;

private:
    bool unloaded_ = false;
    // Building and loading (frm_card.cpp).
    void buildControls();
    void buildCardFrame();
    void buildWriteFrame();
    void buildActionFrames();
    void buildMessageTabs();
    void buildButtons();
    void Form_Load();
    void createControl();
    void msbArrangeFrames(bool fService, int iFormNo);
    void arrangeCardFrame(bool fService, int iFormNo);
    void setUpPage(int iFormNo);
    void msbEnableControls(bool fEnable, bool fReadInfo);
    void msbSetControlState(int iState);
    void setMainEnabled(bool on);

    // Card status and information (card_info.cpp).
    void msbReadCardInfo(bool fForce);
    void readCardInfoBody(bool& fForce);
    void msbShowCardInfo();
    void dropNameEdit(QLineEdit* edit);
    void fillCardInfo();
    bool classifyStatus(std::int32_t status);
    void onEvent(com::DispId id, std::span<const com::Variant> args) noexcept override;

    // Progress (working.cpp).
    void msbWorkingStart(int iSteps, const std::string& sText);
    void msbWorkingProgress(int iValue, const std::string& sText);
    void msbWorkingEnd(const std::string& sText);
    void workingValue(int value);  // the bar set directly, in its own units
    void unloadWorking();

    // Read and write (transfer.cpp).
    bool readCard();
    void msbWriteCard();
    void msbShowCardError(std::int32_t lError, const std::string& sText, bool fUnload);
    void msbLoadWriteList();
    void msbLoadMessageWriteList();
    void storeChoice(QCheckBox* box, std::initializer_list<int> blocks);

    // Initialise, repair and copy (init_repair.cpp, copy.cpp).
    bool msbInitCard(const std::string& sPrompt);
    bool msbRepairCard(const std::string& sPrompt, std::int32_t lError);
    bool formatOrRepair(const std::string& sPrompt, bool repair, std::int32_t lError);
    void copyCards();
    bool copyReadSource(int steps, bool copyProgram, bool copySetting, long& total);
    bool copyToTargets(int steps, bool copyProgram, long total);
    int copyOneTarget(int steps, bool copyProgram, long total);
    void copyFinish();

    // Messages and firmware (messages.cpp, firmware.cpp).
    void msbWriteModeLayout(int mode);
    int currentChannel() const;
    bool mfnfCheckHexFile(const std::string& path, std::array<int, 3>& version);
    std::string msbFindFirmwareFile();

    std::unique_ptr<card::CardCtl> crd_;
    std::string chosenFolder(int index) const;
    bool saveMessages(const std::string& folder, std::string& step);
    void restoreMessages(const std::string& folder);
    void tmrSound_Timer();
    bool queueNextBlock();
    void stopFile();
    int playSpeed() const;
    std::ifstream soundFile_;
    std::int64_t soundLeft_ = 0;  // sample bytes of the playing file not yet queued
    std::int32_t mlngWaveStart_ = 0;
    std::int32_t mlngWaveLength_ = 0;
    std::unique_ptr<frmWorking> frmWorking_;
    int mintFormNo_ = 0;
    long mlngWorkingBase_ = 0;
    long mlngWorkingLength_ = 0;
    bool loaded_ = false;
    bool readingInfo_ = false;
};
