#pragma once
// The start screen frmWizard: the menu of the program, centred in the main window, with
// its six menu buttons, help button, clock and version, and the hidden switches of
// service mode and debug mode.
#include <array>
#include <string>

#include <QWidget>

class QLabel;
class QPushButton;
class frmMain;
namespace forms {
class Timer;
}

class frmWizard : public QWidget {
    Q_OBJECT
public:
    frmWizard(frmMain* main, QWidget* parent);

    void Form_Load();
    // Back to the start screen: the document is discarded and the clock restarts.
    void msbShowForm();
    // Whether an unload other than by the program may proceed; refuses with a message
    // while a wizard runs.
    bool Form_QueryUnload(bool byProgram);
    void cmdItem_Click(int index);
    void cmdHelp_Click();
    void tmrNow_Timer();
    void Form_KeyPress(int keyAscii);
    void lblHidden_DblClick();
    void lblService_DblClick();
    void lblDebug_DblClick();
    void centre();

    QPushButton* cmdItem(int i) const { return cmdItem_[static_cast<std::size_t>(i)]; }
    QString cmdItemTag(int i) const;
    QLabel* lblToday() const { return lblToday_; }
    QLabel* lblNow() const { return lblNow_; }
    QLabel* lblVersion() const { return lblVersion_; }
    QLabel* lblService() const { return lblService_; }
    QLabel* lblDebug() const { return lblDebug_; }
    QLabel* lblHidden() const { return lblHidden_; }
    forms::Timer* tmrNow() const { return tmrNow_; }
    const std::string& keyBuffer() const { return keys_; }

    // "yyyy/m/d(aaa)" with a fixed table of weekday names.
    static std::string todayText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void psbShowMode();
    void psbShowMenuItem();

    frmMain* main_;
    std::array<QPushButton*, 6> cmdItem_{};
    QPushButton* cmdHelp_ = nullptr;
    QLabel* lblToday_ = nullptr;
    QLabel* lblNow_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblService_ = nullptr;
    QLabel* lblDebug_ = nullptr;
    QLabel* lblHidden_ = nullptr;
    forms::Timer* tmrNow_ = nullptr;
    std::string keys_;
};

// The access code of debug mode.
inline constexpr const char* kDebugAccessCode = "QUORVEL-Trace";
