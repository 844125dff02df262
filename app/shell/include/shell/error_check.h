#pragma once
// The window frmError ("エラー一覧"): the check that the day patterns, the holiday setting
// and the calendar fit together before a card image is built, and the list of what it
// found. Level 1 ("警告") blocks going on; level 2 ("注意") only warns.
#include <QDialog>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QGroupBox;

class frmError : public QDialog {
    Q_OBJECT
public:
    // Runs the whole check in a window of its own and unloads it. Mode 0 is the gate
    // before a card write: True means go on. Any other mode is a stand-alone check: True
    // when something was found. Database errors pass to the caller.
    static bool gfnfCheckDataError(int iMode = 0, QWidget* owner = nullptr);

    QTreeWidget* lvwError() const { return lvwError_; }
    QPushButton* cmdNext() const { return cmdNext_; }
    QPushButton* cmdBack() const { return cmdBack_; }
    QGroupBox* fraWorking() const { return fraWorking_; }
    QAction* mnuPrint() const { return mnuPrint_; }
    void cmdBack_Click();
    void cmdNext_Click();
    void lvwError_ColumnClick(int column);

protected:
    explicit frmError(QWidget* owner);
    void showEvent(QShowEvent* event) override;
    void reject() override;  // Esc is Back

private:
    bool run(int iMode);
    void checkSpecialDayPatterns();
    void checkWeekdayPatterns();
    void checkHolidayPattern();
    void checkCalendarYears();
    void psbAddErrorItem(const std::string& sKind, const std::string& sMessage, int iLevel);
    void psbSetProgress(int iValue, const std::string& sText);
    void psbEnableControls(bool fEnable);
    void fitColumns();
    void leave(bool back);

    QLabel* lblHint_;
    QTreeWidget* lvwError_;
    QPushButton* cmdBack_;
    QPushButton* cmdNext_;
    QGroupBox* fraWorking_;
    QProgressBar* pgbWorking_;
    QLabel* lblWorking_;
    QMenu* mnuHelp_;
    QAction* mnuPrint_;
    bool mfBack_ = false;
    int sortColumn_ = 0;
    bool sortDescending_ = false;
};
