#pragma once
// The progress window frmWorking ("動作中"): text, bar and a Cancel that, once confirmed,
// sets gfCancel for the card operation that polls it.
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class frmWorking : public QDialog {
    Q_OBJECT
public:
    // Loading centres the window over the main window's client area and clears gfCancel.
    explicit frmWorking(QWidget* mainWindow);
    ~frmWorking() override;  // the unload: normal pointer, pending events run

    void msbShowForm(int iWorkingMax);
    // Showing paints the window (caption, text and bar) before returning: the card
    // operation that follows keeps the thread busy until its first progress step.
    void setVisible(bool visible) override;
    void cmdCancel_Click();

    QLabel* lblWorking() const { return lblWorking_; }
    QProgressBar* pgbWorking() const { return pgbWorking_; }
    QPushButton* cmdCancel() const { return cmdCancel_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void paintNow();

    QLabel* lblWorking_;
    QProgressBar* pgbWorking_;
    QPushButton* cmdCancel_;
};
