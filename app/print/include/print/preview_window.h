#pragma once
// The page preview: one page of the report in a fixed viewport, scrolled by two bars,
// with buttons to step between pages. Every page change runs the report again for that
// page through the print dialog.
#include <functional>

#include <QDialog>

class QLabel;
class QScrollBar;
class QFrame;

namespace forms {
class CommandButton;
}
namespace printer {
class PreviewPicture;
}

class frmPrintPreview : public QDialog {
    Q_OBJECT
public:
    // printPage draws page n into picPaper (the print dialog's msbPrint(n, True)).
    explicit frmPrintPreview(std::function<void(int page)> printPage, QWidget* parent = nullptr);
    ~frmPrintPreview() override;

    printer::PreviewPicture* picPaper() const { return picPaper_; }
    QWidget* picView() const { return picView_; }
    QScrollBar* hsbPage() const { return hsbPage_; }
    QScrollBar* vsbPage() const { return vsbPage_; }
    forms::CommandButton* cmdPageBack() const { return cmdPageBack_; }
    forms::CommandButton* cmdPageNext() const { return cmdPageNext_; }
    forms::CommandButton* cmdBack() const { return cmdBack_; }
    QLabel* lblPageNo() const { return lblPageNo_; }
    QLabel* lblPageCount() const { return lblPageCount_; }
    QFrame* line1() const { return line1_; }

    // Writes the labels as the report framework does; a real change of the page number
    // runs the page change, one of the count updates the buttons.
    void setPageCount(int count);
    void setPageNo(int page);

    // The scroll ranges for the page as drawn (the window's activation).
    void Form_Activate();
    bool isUnloaded() const { return unloaded_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void cmdPageBack_Click();
    void cmdPageNext_Click();
    void cmdBack_Click();
    void lblPageNo_Change();
    void updatePageButtons();
    int pageNo() const;
    int pageCount() const;

    std::function<void(int)> printPage_;
    QWidget* picView_;
    printer::PreviewPicture* picPaper_;
    QScrollBar* hsbPage_;
    QScrollBar* vsbPage_;
    forms::CommandButton* cmdPageBack_;
    forms::CommandButton* cmdPageNext_;
    forms::CommandButton* cmdBack_;
    QLabel* lblPageNo_;
    QLabel* lblPageCount_;
    QFrame* line1_;
    bool unloaded_ = false;
    // Whether the page is wider or taller than the view, so that its scroll bar moves it.
    bool hScrolls_ = false;
    bool vScrolls_ = false;
};
