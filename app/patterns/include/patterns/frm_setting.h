#pragma once
// frmSetting, the device settings page: every setting of the template in one grid, the
// selected one edited in one of four entry frames (ten-key pad, words, numbers 0-9, a
// message channel). The grid is the only store until the page saves it into the
// document; reset to the template's defaults and import from another document replace
// the document's settings at once. The event handlers are public so they can be driven.
#include <array>
#include <cstdint>
#include <string>

#include "forms/controls.h"
#include "forms/grid.h"
#include "wizard/pages.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;

namespace forms {
class KeyPreview;
}

class frmSetting : public wizard::Page {
    Q_OBJECT
public:
    // The setting being edited: its number and its value text.
    struct SettingRecord {
        std::int16_t iNo = 0;
        std::string sValue;
    };

    explicit frmSetting(QWidget* parent = nullptr);
    ~frmSetting() override;
    void unloadPage() override;

    void leavePage() override { msbSaveData(); }
    // Writes the grid into the document when it holds unsaved changes.
    void msbSaveData();

    forms::Grid* sstSetting() const { return sstSetting_; }
    QLabel* lblHint() const { return lblHint_; }
    QLabel* lblSettingNo() const { return lblSettingNo_; }
    QGroupBox* fraSet(int i) const { return fraSet_[static_cast<std::size_t>(i)]; }
    forms::CommandButton* cmdTenKey(int i) const { return cmdTenKey_[static_cast<std::size_t>(i)]; }
    forms::TextBox* txtTenKey() const { return txtTenKey_; }
    forms::OptionButton* optMode(int i) const { return optMode_[static_cast<std::size_t>(i)]; }
    forms::OptionButton* optTimes(int i) const { return optTimes_[static_cast<std::size_t>(i)]; }
    forms::Grid* sstMessage() const { return sstMessage_; }
    forms::CheckBox* chkOption() const { return chkOption_; }
    forms::CommandButton* cmdReset() const { return cmdReset_; }
    forms::CommandButton* cmdBack() const { return cmdBack_; }
    forms::CommandButton* cmdNext() const { return cmdNext_; }
    std::string caption() const;
    const SettingRecord& current() const { return record_; }
    bool optionsShown() const { return optionsShown_; }
    int visibleFrame() const;

    // ---- Events ----
    void setSettingNo(const std::string& caption);  // lblSettingNo.Caption: runs its Change
    void lblSettingNo_Change();
    void Form_KeyPress(int& keyAscii);
    void chkOption_Click();
    void cmdTenKey_MouseDown() { pressed_ = true; }
    void cmdTenKey_Click();
    void cmdTenKey_MouseUp(int index);
    void cmdTenKey_KeyPress(int keyAscii);
    void cmdTenKey_KeyUp(int keyCode);
    void txtTenKey_Change();
    void optMode_Click(int i);
    void optTimes_Click(int i);
    void optTimes_KeyPress(int& keyAscii);
    void sstMessage_Select(int row);
    void cmdReset_Click();
    void mnuFileRead_Click();
    void mnuFileSave_Click(bool saveAs);
    void mnuPrintPrint_Click();

    void psbSetAllSettingData();
    void psbSetSettingData(const SettingRecord& record);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void sbIniSetting();
    void psbReadSettingData();
    void psbShowSettingValue(const SettingRecord& record);
    void psbSetFormEnabled(bool fEnable);
    void setCaption(const std::string& text);
    void replaceSettingsFrom(const std::string& file, const std::string& where);
    void stepToNext();

    forms::Grid* sstSetting_ = nullptr;
    QGroupBox* fraHint_ = nullptr;
    QLabel* lblHint_ = nullptr;
    std::array<QGroupBox*, 4> fraSet_{};
    std::array<forms::CommandButton*, 11> cmdTenKey_{};
    forms::TextBox* txtTenKey_ = nullptr;
    std::array<forms::OptionButton*, 4> optMode_{};
    std::array<forms::OptionButton*, 10> optTimes_{};
    forms::Grid* sstMessage_ = nullptr;
    forms::CheckBox* chkOption_ = nullptr;
    forms::CommandButton* cmdReset_ = nullptr;
    forms::CommandButton* cmdBack_ = nullptr;
    forms::CommandButton* cmdNext_ = nullptr;
    QLabel* lblSettingNo_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;  // the controls, below the menu bar
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuPrint_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QAction* mnuHelpWindow_ = nullptr;
    forms::KeyPreview* keys_ = nullptr;

    // The display words of a value; empty for a choice the entry frame does not offer.
    static std::string shownWords(int no, const std::string& value);
    // Selects the button of a choice, or none when the value is not among them.
    template <std::size_t N>
    static forms::OptionButton* selectChoice(std::array<forms::OptionButton*, N>& buttons, const std::string& value,
                                             int min, int max);

    std::int16_t min_ = 0;
    std::int16_t max_ = 0;
    SettingRecord record_;
    bool pressed_ = false;
    bool optionsShown_ = true;
    int nonOptionRows_ = 0;
    std::string baseTitle_;
    bool tenKeyGuard_ = false;
    bool settingUp_ = false;
    bool unloaded_ = false;
};
