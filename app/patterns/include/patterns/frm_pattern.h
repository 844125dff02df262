#pragma once
// frmPattern, the day-pattern editor: one day pattern at a time as a time chart, a grid
// of its time ranges and four time fields, beside the message channels and, for the
// holiday pattern, the holiday switches. The wizard opens it on the weekday patterns
// (form 2) or the holiday pattern (form 3); the special-day calendar on a special-day
// pattern. The event handlers are public, as a form's are, so that they can be driven.
#include <array>
#include <cstdint>
#include <string>

#include "core/timechart.h"
#include "forms/controls.h"
#include "forms/grid.h"
#include "forms/surface.h"
#include "patterns/day_steps.h"
#include "wizard/pages.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class UcNumeric;

namespace forms {
class KeyPreview;
}

class frmPattern : public wizard::Page {
    Q_OBJECT
public:
    explicit frmPattern(QWidget* parent = nullptr);
    ~frmPattern() override;
    void unloadPage() override;

    // Wizard entry: form 2 opens the weekday patterns, form 3 the holiday pattern.
    void msbShowForm(int formNo, int menuNo) override;
    // Opens the window on a pattern (1..20); any other number beeps and closes it. The
    // date text has no effect.
    void msbShowForm(int iPatternNo);
    void msbShowForm(int iPatternNo, const std::string& sDate);
    void psbSetStepRemain();
    void debug_SetPatternNo(int iNo) { pattern_ = static_cast<std::int16_t>(iNo); }

    int currentPattern() const { return pattern_; }
    bool isUnloaded() const { return unloaded_; }

    // ---- Controls ----
    forms::OptionButton* optPattern(int i) const { return optPattern_[static_cast<std::size_t>(i)]; }
    QWidget* picPattern() const { return picPattern_; }
    QLabel* lblPattern() const { return lblPattern_; }
    QLabel* lblComment() const { return lblComment_; }
    forms::TextBox* txtComment() const { return txtComment_; }
    forms::PictureBox* picTimeChart() const { return picTimeChart_; }
    QFrame* shpTimeSet() const { return shpTimeSet_; }
    QLabel* picTime() const { return picTime_; }
    forms::Grid* sstDayStep() const { return sstDayStep_; }
    QLabel* lblStepNo() const { return lblStepNo_; }
    QLabel* lblStepRemain() const { return lblStepRemain_; }
    const std::string& lblStepRemainTag() const { return stepRemainTag_; }
    UcNumeric* unmHour(int i) const { return unmHour_[static_cast<std::size_t>(i)]; }
    UcNumeric* unmMinute(int i) const { return unmMinute_[static_cast<std::size_t>(i)]; }
    forms::Grid* sstMessage() const { return sstMessage_; }
    forms::TextBox* txtMsgName() const { return txtMsgName_; }
    forms::Grid* sstAnsRec() const { return sstAnsRec_; }
    QLabel* lblOff() const { return lblOff_; }
    QLabel* lblAnsOnly() const { return lblAnsOnly_; }
    QLabel* lblAnsRec() const { return lblAnsRec_; }
    forms::CommandButton* cmdSet() const { return cmdSet_; }
    forms::CommandButton* cmdDel() const { return cmdDel_; }
    forms::CommandButton* cmdCopy() const { return cmdCopy_; }
    forms::CommandButton* cmdSyukujitu() const { return cmdSyukujitu_; }
    forms::CheckBox* chkSyukujitu() const { return chkSyukujitu_; }
    forms::CheckBox* chkFurikae() const { return chkFurikae_; }
    forms::CommandButton* cmdBack() const { return cmdBack_; }
    forms::CommandButton* cmdNext() const { return cmdNext_; }
    forms::CommandButton* cmdOk() const { return cmdOk_; }
    QMenu* mnuFile() const { return mnuFile_; }
    QMenu* mnuPrint() const { return mnuPrint_; }
    QMenu* mnuMsg() const { return mnuMsg_; }
    QMenu* mnuHelp() const { return mnuHelp_; }
    QAction* mnuMsgAnsRec() const { return mnuMsgAnsRec_; }
    QAction* mnuPrintSplit() const { return mnuPrintSplit_; }
    QAction* mnuPrintSyukujitu() const { return mnuPrintSyukujitu_; }
    QAction* mnuHelpWindow() const { return mnuHelpWindow_; }
    QAction* mnuMsgAction() const { return mnuMsgAction_; }
    // The selection shape in twips on the chart.
    FrameRect shpTimeSetRect() const { return shpRect_; }
    int dragMode() const { return dragMode_; }
    const std::string& txtCommentTag() const { return commentTag_; }
    const std::string& picTimeTag() const { return picTimeTag_; }

    // ---- Window (choosing a pattern, the step grid) ----
    void optPattern_Click(int i);
    void sstDayStep_Click(int col, int row);
    void setStepNo(const std::string& caption);  // lblStepNo.Caption: runs its Change
    void lblStepNo_Change();
    void Form_KeyPress(int& keyAscii);
    bool pfnfSetPatternName(int iPatternNo, const std::string& sName);

    // ---- Setting a range ----
    void cmdSet_Click();
    bool pfnfSetDayStepData(const patterns::typDayStepSet& rec);
    bool pfnfClearPattern(int iPatternNo, bool fAsk);
    void psbDeleteDayStep(int iPatternNo);

    // ---- Chart mouse input (twips on the chart) ----
    void picTimeChart_MouseDown(int button, double x, double y);
    void picTimeChart_MouseMove(int button, double x, double y);
    void picTimeChart_MouseUp(int button, double x, double y);
    void picTimeChart_DblClick() { dblClick_ = true; }
    void psbShowTimeSet();
    void unmTime_Change(bool hour, int index);
    const patterns::ChartMetrics& chartMetrics() const { return metrics_; }
    int chartPointer() const { return chartPointer_; }

    // ---- Message channels ----
    void sstMessage_DblClick(int col, int row);
    void txtMsgName_Change();
    void txtMsgName_LostFocus();
    void sstAnsRec_Click(int col, int row);
    void mnuMsgAnsRec_Click();
    bool pfnfSetMessageData(int iCh, const std::string& sName);
    void psbShowAnsRec();

    // ---- Holiday options ----
    void psbShowSyukujituOption();
    void psbSetSyukujituOption(bool fHoliday, int iFurikae);
    void psbSetEditEnabled(bool fEnable);
    void chkSyukujitu_Click();
    void chkFurikae_Click();
    void cmdSyukujitu_Click();

    // ---- Commands and menus ----
    void cmdBack_Click();
    void cmdOk_Click();
    void cmdNext_Click();
    void cmdCopy_Click();
    void cmdDel_Click();
    void mnuFileSave_Click(bool saveAs);
    void mnuPrintPrint_Click();
    void mnuPrintMsg_Click();
    void mnuPrintSyukujitu_Click();
    void mnuHelpWindow_Click();
    void txtComment_Change();
    void txtComment_LostFocus();
    void Form_Click();
    void Form_MouseMove();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void Form_Load();
    void Form_Unload();
    void showKind(int n);
    void layoutStrip();
    void paintClient();
    void psbShowDayStep(int iPatternNo);
    void psbShowPatternList();
    void psbSetFormEnabled(bool fEnable);
    void unload();
    void hideTimeBox();
    int fieldStart() const;
    int fieldEnd() const;
    void setStart(int minute);
    void setEnd(int minute);
    void setChartPointer(int image);

    std::array<forms::OptionButton*, 22> optPattern_{};
    std::array<UcNumeric*, 2> unmHour_{};
    std::array<UcNumeric*, 2> unmMinute_{};
    QWidget* picPattern_ = nullptr;
    QLabel* lblPattern_ = nullptr;
    QLabel* lblComment_ = nullptr;
    forms::TextBox* txtComment_ = nullptr;
    forms::PictureBox* picTimeChart_ = nullptr;
    QFrame* shpTimeSet_ = nullptr;
    QLabel* picTime_ = nullptr;
    forms::Grid* sstDayStep_ = nullptr;
    QLabel* lblStepNo_ = nullptr;
    QLabel* lblTitleRemain_ = nullptr;
    QLabel* lblStepRemain_ = nullptr;
    QLabel* lblStart_ = nullptr;
    QLabel* lblEnd_ = nullptr;
    forms::Grid* sstMessage_ = nullptr;
    forms::TextBox* txtMsgName_ = nullptr;
    forms::Grid* sstAnsRec_ = nullptr;
    QLabel* lblMessage_ = nullptr;
    QLabel* lblMessageHint_ = nullptr;
    QLabel* lblOff_ = nullptr;
    QLabel* lblAnsOnly_ = nullptr;
    QLabel* lblAnsRec_ = nullptr;
    forms::CommandButton* cmdSet_ = nullptr;
    forms::CommandButton* cmdDel_ = nullptr;
    forms::CommandButton* cmdCopy_ = nullptr;
    forms::CommandButton* cmdSyukujitu_ = nullptr;
    forms::CheckBox* chkSyukujitu_ = nullptr;
    forms::CheckBox* chkFurikae_ = nullptr;
    forms::CommandButton* cmdBack_ = nullptr;
    forms::CommandButton* cmdNext_ = nullptr;
    forms::CommandButton* cmdOk_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;  // the controls, below the menu bar
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuPrint_ = nullptr;
    QMenu* mnuMsg_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QAction* mnuMsgAction_ = nullptr;
    QAction* mnuMsgAnsRec_ = nullptr;
    QAction* mnuPrintSplit_ = nullptr;
    QAction* mnuPrintSyukujitu_ = nullptr;
    QAction* mnuHelpWindow_ = nullptr;
    forms::KeyPreview* keys_ = nullptr;

    std::int16_t pattern_ = 1;
    int dragMode_ = 0;
    bool dblClick_ = false;
    patterns::ChartMetrics metrics_;
    int chartLeft_ = 0;  // twips in the window
    int chartTop_ = 0;
    FrameRect shpRect_;
    std::string stepRemainTag_;
    std::string picTimeTag_;
    std::string commentTag_;
    std::string msgNameTag_;
    int chartPointer_ = 1;
    bool syukujituGuard_ = false;
    bool showingOptions_ = false;
    bool unloaded_ = false;
    bool dbOpen_ = false;
};
