#pragma once
// The one print dialog: printer, report options, margins and line width; in log mode
// also preview, printer set-up, test pages and saving the margins as defaults. Its print
// run prepares the output device, runs the report writer of the print mode, ends or
// discards the job and restores the printer.
#include <array>
#include <memory>
#include <string>

#include <QDialog>

#include "print/state.h"

class QComboBox;
class QLabel;
class QMenu;
class QAction;
class frmPrintPreview;

namespace forms {
class CheckBox;
class CommandButton;
class OptionButton;
class TextBox;
}  // namespace forms

// The limits of the margin and line-width entries.
inline constexpr print::i16 kMarginMin = 0;
inline constexpr print::i16 kMarginMax = 30;
inline constexpr print::i16 kLineWidthMin = 1;
inline constexpr print::i16 kLineWidthMax = 5;

class frmPrinter : public QDialog {
    Q_OBJECT
public:
    explicit frmPrinter(QWidget* parent = nullptr);
    ~frmPrinter() override;

    // Stores the mode and the number and sets the caption; the load step follows.
    void msbInitialize(print::i16 iPrintMode, print::i16 iNo);
    // The load step (run once, after msbInitialize).
    void Form_Load();
    // One print run (fPreview False, page 0) or one preview page.
    void msbPrint(print::i16 iPage, bool fPreview);

    // The buttons and events, as a user reaches them.
    void cmdPrint_Click();
    void cmdPreview_Click();
    void cmdTest_Click(int index);
    void cmdBack_Click();
    void cmdSave_Click();
    void cmdProperty_Click();
    void cboPrinter_Click();
    void cboYear_Click(int index);
    void optObject_MouseUp(int index, int button, int shift);

    print::i16 printMode() const { return mode_; }
    print::i16 itemNo() const { return no_; }
    bool isUnloaded() const { return unloaded_; }

    QComboBox* cboPrinter() const { return cboPrinter_; }
    QLabel* lblPrinterInfo() const { return lblPrinterInfo_; }
    forms::CommandButton* cmdPreview() const { return cmdPreview_; }
    forms::CommandButton* cmdProperty() const { return cmdProperty_; }
    forms::OptionButton* optObject(int i) const { return optObject_.at(static_cast<std::size_t>(i)); }
    forms::OptionButton* optMode(int i) const { return optMode_.at(static_cast<std::size_t>(i)); }
    QComboBox* cboYear(int i) const { return cboYear_.at(static_cast<std::size_t>(i)); }
    QLabel* lblPaperSize() const { return lblPaperSize_; }
    QLabel* lblOrientation() const { return lblOrientation_; }
    forms::TextBox* txtMargin(int i) const { return txtMargin_.at(static_cast<std::size_t>(i)); }
    forms::TextBox* txtWidthLine() const { return txtWidthLine_; }
    forms::CheckBox* chkMargin() const { return chkMargin_; }
    forms::CommandButton* cmdSave() const { return cmdSave_; }
    forms::CommandButton* cmdTest(int i) const { return cmdTest_.at(static_cast<std::size_t>(i)); }
    forms::CommandButton* cmdPrint() const { return cmdPrint_; }
    forms::CommandButton* cmdBack() const { return cmdBack_; }
    QLabel* lblPrint() const { return lblPrint_; }
    frmPrintPreview* preview() const { return preview_.get(); }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void buildControls();
    void psbGetMargin();
    void psbReadPrintOption();
    void psbSetPrinting(bool fEnable);
    bool runReport();
    void numberChanged(forms::TextBox* box, print::i16 min, print::i16 max);
    bool checkEntries();
    void unload();
    frmPrintPreview& previewWindow();
    void closePreview();
    void endRunAfterError(long number, bool fPreview);

    print::i16 mode_ = 0;
    print::i16 no_ = 0;
    bool unloaded_ = false;
    bool previewShowing_ = false;

    QComboBox* cboPrinter_;
    QLabel* lblPrinterInfo_;
    forms::CommandButton* cmdPreview_;
    forms::CommandButton* cmdProperty_;
    std::array<forms::OptionButton*, 2> optObject_{};
    std::array<forms::OptionButton*, 2> optMode_{};
    std::array<QComboBox*, 2> cboYear_{};
    QLabel* lblPaperSize_;
    QLabel* lblOrientation_;
    std::array<forms::TextBox*, 4> txtMargin_{};
    forms::TextBox* txtWidthLine_;
    forms::CheckBox* chkMargin_;
    forms::CommandButton* cmdSave_;
    std::array<forms::CommandButton*, 2> cmdTest_{};
    forms::CommandButton* cmdPrint_;
    forms::CommandButton* cmdBack_;
    QLabel* lblPrint_;
    QMenu* mnuHelp_;
    std::unique_ptr<frmPrintPreview> preview_;
};

namespace print {
// What the dialog remembers while the program runs: the printer chosen last (list index
// + 1, 0 = none) and the margins (left, right, top, bottom) and line width last used.
struct DialogMemory {
    i16 chosenPrinter = 0;
    i16 defaultPrinter = 0;
    std::array<i16, 4> margins{};
    i16 lineWidth = 0;
};
DialogMemory& dialogMemory();
}  // namespace print
