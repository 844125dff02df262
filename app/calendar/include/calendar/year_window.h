#pragma once
// frmYear, the special-day list: a modal, sortable list of the special days of the ten-year
// range, or of the dates of one repeat rule with what each date runs now and the question
// whether to register the rule's pattern on them or to delete their special days.
#include <functional>
#include <string>

#include <QDialog>

class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QAction;

namespace forms {
class Grid;
class CommandButton;
class KeyPreview;
}  // namespace forms

class frmYear : public QDialog {
    Q_OBJECT
public:
    // busyPanel: the calendar's busy panel, hidden once the list is ready (may be null).
    explicit frmYear(QWidget* busyPanel = nullptr);
    ~frmYear() override;

    // Shows the window modally and returns True when it changed tblYear. iMode < 0: the list
    // of every special day; 0..3: the dates of a repeat rule, registering iPattern on them
    // or, with 255, deleting their special days.
    bool mfnfShowForm(int iPattern, int iMode = -1, const std::string& sDate = "");

    // Rebuilds tblYearShow with the special days of this year to this year + 9.
    int pfniMakeYearShowList();
    // Rebuilds tblYearShow with the dates of a rule; the count of those that are special days.
    int pfniMakeYearShowRule(int iMode, const std::string& sDate, int iPattern);
    // Writes or deletes the tblYear rows of a rule; True when any row changed.
    bool pfnfSetYearRule(int iMode, const std::string& sDate, int iPattern);
    // Fills the grid from tblYearShow ordered by a column (1..6), default order otherwise;
    // a negative column formats the grid first.
    void psbShowYearList(int column, const std::string& order);
    void psbEnableForm(bool fEnable);

    // ---- Event handlers ----
    void sstYear_Click(int col, int row);
    void sstYear_MouseDown(int button, int shift);
    void cmdResetSort_Click();
    void cmdDelete_Click();
    void cmdBack_Click();
    void cmdYes_Click();
    void cmdNo_Click();
    void mnuHelpWindow_Click();

    bool result() const { return result_; }
    int sortColumn() const { return sortCol_; }

    // Runs the window modally; tests replace it to act on the shown window.
    using ModalRunner = std::function<void(frmYear& window)>;
    static void setModalRunnerForTesting(ModalRunner runner);

    // ---- Controls ----
    forms::Grid* sstYear = nullptr;
    forms::CommandButton* cmdBack = nullptr;
    forms::CommandButton* cmdResetSort = nullptr;
    forms::CommandButton* cmdDelete = nullptr;
    QGroupBox* fraSet = nullptr;
    QLabel* lblSetTitle = nullptr;
    QLabel* lblSet = nullptr;
    QLabel* lblTitleSchedule = nullptr;
    QLabel* lblPattern = nullptr;
    QLabel* lblMessage = nullptr;
    forms::CommandButton* cmdYes = nullptr;
    forms::CommandButton* cmdNo = nullptr;
    QGroupBox* fraSchedule = nullptr;
    QLabel* lblWeek = nullptr;
    QLabel* lblSyukujitu = nullptr;
    QLabel* lblYear = nullptr;
    QLabel* lblHint = nullptr;
    QLabel* lblMode = nullptr;
    QLabel* lblDay = nullptr;
    QLabel* lblPatternNo = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpKeyWord = nullptr;
    QAction* mnuHelpWindow = nullptr;

    // Closed and unloaded (tblYearShow dropped).
    bool unloaded() const { return unloaded_; }

private:
    void buildControls();
    void storeRequest(int iPattern, int iMode, const std::string& sDate);
    void recreateShowTable();
    void unload();
    void runModal();
    // Runs a handler; a run-time error it raises goes to the error reporter, fatally.
    void guarded(const std::function<void()>& f);

    QWidget* busyPanel_;
    forms::KeyPreview* keys_ = nullptr;
    bool result_ = false;
    int sortCol_ = 0;
    bool unloaded_ = false;
};
