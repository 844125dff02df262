#pragma once
// frmSyukujitu, the holiday-rule editor: the modal window in which the user edits the
// holiday rules of the open document (fixed days, n-th weekdays, the equinox days and the
// rule of a day between two holidays), reads the default rules of Master.dat into the
// document, or stores the document's rules as the defaults.
#include <cstdint>
#include <functional>
#include <string>

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QAction;
class UcNumeric;

namespace forms {
class Grid;
class TextBox;
class OptionButton;
class CommandButton;
class KeyPreview;
}  // namespace forms

class frmSyukujitu : public QDialog {
    Q_OBJECT
public:
    explicit frmSyukujitu(QWidget* parent = nullptr);
    ~frmSyukujitu() override;

    // ---- Event handlers ----
    void Form_Load();
    void Form_KeyPress(int& keyAscii);
    void sstSyukujitu_Click(int col, int row);
    void sstSyukujitu_MouseUp();
    void optSyukujitu_Click();
    void unmMonth_Change();
    void txtComment_Change();
    void txtComment_GotFocus();
    void cmdSet_Click();
    void cmdDelete_Click();
    void cmdReadMaster_Click();
    void cmdSaveMaster_Click();
    void cmdBack_Click();

    // Selects a grid row as a click does: a changed number loads the row.
    void selectRow(int row);
    int selectedRow() const;

    // ---- Controls ----
    forms::Grid* sstSyukujitu = nullptr;
    QGroupBox* fraSet = nullptr;
    QLabel* lblComment = nullptr;
    forms::TextBox* txtComment = nullptr;
    UcNumeric* unmMonth = nullptr;
    QLabel* Label2 = nullptr;
    forms::OptionButton* optSyukujitu[2] = {nullptr, nullptr};
    UcNumeric* unmDay = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* cboWeekNo = nullptr;
    QComboBox* cboWeek = nullptr;
    forms::CommandButton* cmdSet = nullptr;
    forms::CommandButton* cmdDelete = nullptr;
    forms::CommandButton* cmdReadMaster = nullptr;
    forms::CommandButton* cmdSaveMaster = nullptr;
    forms::CommandButton* cmdBack = nullptr;
    QLabel* lblSyukujituNo = nullptr;
    QLabel* lblHint = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpKeyWord = nullptr;
    QAction* mnuHelpWindow = nullptr;
    // Remember a loaded equinox (35) or rule-day (36) row: its code and its month.
    std::string unmDayTag;
    std::string unmMonthTag;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void lblSyukujituNo_Change();
    void psbShowSyukujitu();
    bool pfnfSetSyukujitu(int iOldMonth, int iOldDay, const std::string& sName, int iMonth, int iDay);
    bool pfnfDeleteSyukujitu(int iMonth, int iDay);
    static std::int32_t pfnlSyukujituColor(int value);
    void psbSetFormEnabled(bool fEnable);
    void writeRuleRow(int row, const std::string& date, const std::string& name, int month, int code);
    // Runs a handler; a run-time error it raises goes to the error reporter, fatally.
    void guarded(const std::function<void()>& f);

    forms::KeyPreview* keys_ = nullptr;
};
