#pragma once
// frmSchedule, the special-day calendar: four month grids of the document's ten-year range
// coloured by what each day resolves to, the list of special-day patterns with the chart of
// the chosen one, and the two modes in which the user marks days as special days or removes
// them, by block, by a weekday heading or through the day pop-up menu.
#include <array>
#include <functional>
#include <string>

#include "wizard/pages.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollBar;

namespace forms {
class Grid;
class PictureBox;
class OptionButton;
class CommandButton;
}  // namespace forms

// The block of a month grid handed to the block writer and the block deleter.
struct typYearBlock {
    int Year = 0;
    int Month = 0;
    int WeekFrom = 0;
    int WeekTo = 0;
    int DayFrom = 0;  // weekday column, 1 = Sunday
    int DayTo = 0;
    int Pattern = 0;  // not read by the deleter
    std::string Comment;
};

class frmSchedule : public wizard::Page {
    Q_OBJECT
public:
    explicit frmSchedule(QWidget* parent = nullptr);
    ~frmSchedule() override;
    void unloadPage() override;

    // The open calendar, if any.
    static frmSchedule* instance();

    // Shown by the step dispatcher: runs the load.
    void msbShowForm(int formNo, int menuNo) override;
    // Back from the day-pattern editor: reopens the document and recolours.
    void msbShowForm();

    // ---- Public operations ----
    void optMode_Click(int index);
    int pfniMakeYearData(int iPatternNo, const std::string& sDate);
    bool mfnfSetYearDay(const std::string& sDate, const std::string& sSearch, int iPatternNo,
                        const std::string& sComment, bool fBeep = true);
    bool mfnfDelYearDay(const std::string& sSearch);

    // ---- Event handlers (public so that the program's own code and tests raise them) ----
    void Form_Load();
    void vscJump_Change();
    void vscJump_Scroll();
    void sstMonth_MouseDown(int index, int button);
    void sstMonth_MouseMove(int index, double x, double y);
    void sstMonth_MouseUp(int index, int button, int shift, double x, double y);
    void sstDayPattern_CurrentChanged();
    void sstDayPattern_MouseUp();
    void cmdEdit_Click();
    void cmdYear_Click();
    void cmdBack_Click();
    void cmdNext_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuPopUpMenu_Click(int index);
    void mnuPopUpAllYear_Click();
    void mnuPopUpCancel_Click();

    // The cell formulas of the month grids (16-bit; run-time error 6 on overflow).
    static int mfniCellToDay(int week, int w1, int weekday);
    static int mfniDayToRow(int day, int w1, int weekday);

    // Shows the day pop-up menu; the chosen item's handler runs before it returns. Tests
    // replace it to choose an item or dismiss the menu.
    using PopUpRunner = std::function<void(QMenu& menu)>;
    static void setPopUpRunnerForTesting(PopUpRunner runner);

    // ---- Controls ----
    std::array<QGroupBox*, 4> fraMonth{};
    std::array<forms::Grid*, 4> sstMonth{};
    QScrollBar* vscJump = nullptr;
    QLabel* picJump = nullptr;
    QWidget* picLoadMessage = nullptr;
    QLabel* lblLoadMessage = nullptr;
    QGroupBox* fraPattern = nullptr;
    forms::Grid* sstDayPattern = nullptr;
    forms::PictureBox* picTimeChart = nullptr;
    QLabel* lblPattern = nullptr;
    QLabel* lblMode = nullptr;
    std::array<forms::OptionButton*, 2> optMode{};
    forms::CommandButton* cmdYear = nullptr;
    forms::CommandButton* cmdEdit = nullptr;
    forms::CommandButton* cmdBack = nullptr;
    forms::CommandButton* cmdNext = nullptr;
    QLabel* lblSchedule = nullptr;
    QLabel* lblWeek = nullptr;
    QLabel* lblSyukujitu = nullptr;
    QLabel* lblYear = nullptr;
    QLabel* lblOff = nullptr;
    QLabel* lblAnsOnly = nullptr;
    QLabel* lblAnsRec = nullptr;
    QLabel* lblPatternNo = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileSaveAs = nullptr;
    QMenu* mnuPrint = nullptr;
    QAction* mnuPrintPrint = nullptr;
    QAction* mnuPrintYear = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpKeyWord = nullptr;
    QAction* mnuHelpWindow = nullptr;
    QMenu* mnuPopUp = nullptr;
    std::array<QAction*, 4> mnuPopUpMenu{};
    QAction* mnuPopUpSplit0 = nullptr;
    QAction* mnuPopUpAllYear = nullptr;
    QAction* mnuPopUpSplit1 = nullptr;
    QAction* mnuPopUpCancel = nullptr;

    // ---- Window state ----
    int mintMode = 1;
    long mlngHeadHeight = 0;
    long mlngWeekHeight = 0;
    long mlngColWidth = 0;
    // Where the first weekday column begins inside a month grid (its frame), in twips.
    long mlngLeft = 0;
    std::array<std::array<std::string, 32>, 4> mstrDayName{};
    bool mfPopUp = false;
    // The month prefix of each grid, "yyyy/m/".
    std::array<std::string, 4> sstMonthTag{};
    // The window was handed to the day-pattern editor (minimised).
    bool minimised() const { return minimised_; }
    // The mouse icon of the month frames: 5 in register mode, 1 in delete mode.
    int mouseIconImage() const { return mouseIcon_; }

private:
    bool unloaded_ = false;
    void buildControls();
    void buildMenus();
    void setPatternNo(int p);
    int patternNo() const;
    void lblPatternNo_Change();
    void msbDrawMonth(int year, int month);
    void msbDrawYear();
    void msbEnableWindow(bool fEnable);
    void showLoadMessage(const char* text);
    void hideLoadMessage();
    bool mfnfSetYearBlock(const typYearBlock& block);
    bool mfnfDelYearBlock(const typYearBlock& block);
    bool mfnfClearYear();
    void msbAskEditPattern(int iPatternNo);
    void handToEditor(int pattern);
    void refreshPatternFlags();
    void restGrid(forms::Grid& grid);
    void recolourBlock(int index, const typYearBlock& block);
    void saveDocument(const std::string& name);
    // Runs a handler; a run-time error it raises goes to the error reporter, fatally.
    void guarded(const std::function<void()>& f);

    bool minimised_ = false;
    bool inMouseUp_ = false;
    // The day whose tooltip each month grid shows (0 = none).
    std::array<int, 4> lastDay_{};
    int mouseIcon_ = 5;
};
