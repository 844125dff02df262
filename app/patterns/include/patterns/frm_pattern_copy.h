#pragma once
// frmPatternCopy ("一覧表示"): the time charts of every day pattern side by side; in copy
// mode a chart dragged onto another chart or onto a special-day button copies that
// pattern there. The editor opens it in copy mode, the card window in view mode.
#include <array>
#include <string>

#include <QDialog>

#include "forms/controls.h"
#include "forms/surface.h"

class QAction;
class QLabel;
class QMenu;
class frmPattern;

class frmPatternCopy : public QDialog {
    Q_OBJECT
public:
    // The editor whose pattern buttons a label double-click switches (none from the card
    // window).
    explicit frmPatternCopy(frmPattern* editor = nullptr, QWidget* parent = nullptr);
    ~frmPatternCopy() override;

    // Shows the window modally on a pattern (below 9: special-day pattern A); mode 0
    // copies, any other mode only shows. True when at least one copy was made.
    bool mfnfShowForm(int iPatternNo, int iMode);

    forms::PictureBox* picPattern(int i) const { return picPattern_[static_cast<std::size_t>(i)]; }
    QLabel* lblPattern(int i) const { return lblPattern_[static_cast<std::size_t>(i)]; }
    forms::OptionButton* optPattern(int i) const { return optPattern_[static_cast<std::size_t>(i)]; }
    QLabel* lblHint() const { return lblHint_; }
    QLabel* lblAnsRec() const { return lblAnsRec_; }
    forms::CommandButton* cmdBack() const { return cmdBack_; }
    QAction* mnuHelpWindow() const { return mnuHelpWindow_; }
    int dragSource() const { return source_; }
    // The image of the icon list the dragged chart shows now (n + 1 for pattern n, 22
    // over no target, 23 the pointer over a chart).
    int dragIcon() const { return dragIcon_; }
    bool changed() const { return changed_; }

    // ---- Events ----
    void optPattern_Click(int i);
    void picPattern_MouseDown(int i);
    // state 0 entering a target, 1 leaving it, 2 moving over it.
    void target_DragOver(int state);
    void picPattern_DragDrop(int i);
    void optPattern_DragDrop(int i);
    void lblPattern_DblClick(int i);
    void cmdBack_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void psbShowPatternList();
    void psbSetFormEnabled(bool fEnable);
    void startDrag(int i);
    int shownSpecial() const;

    frmPattern* editor_;
    std::array<forms::PictureBox*, 9> picPattern_{};
    std::array<QLabel*, 9> lblPattern_{};
    std::array<forms::OptionButton*, 21> optPattern_{};
    QLabel* lblTimeChart_ = nullptr;
    QLabel* lblOff_ = nullptr;
    QLabel* lblAnsOnly_ = nullptr;
    QLabel* lblAnsRec_ = nullptr;
    QLabel* lblHint_ = nullptr;
    forms::CommandButton* cmdBack_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QAction* mnuHelpWindow_ = nullptr;
    int source_ = 0;
    int dragIcon_ = 0;
    bool changed_ = false;
    bool viewOnly_ = false;
};
