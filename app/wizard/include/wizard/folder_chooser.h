#pragma once
// The folder chooser frmGetFolder ("フォルダの参照"): picks the folder that a card's
// messages are saved into (mode 0, where a new folder can be made) or restored from
// (mode 1, with a summary of the saved message set in the folder chosen).
#include <cstdint>
#include <functional>
#include <string>

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace wizard {
// A saved message set's length as the program writes lengths: twelve messages together may
// pass the 32-bit range that one message's length fits in.
std::string setLengthText(std::int64_t ms);
}  // namespace wizard

class frmGetFolder : public QDialog {
    Q_OBJECT
public:
    // How a saved message's length is found: the byte count of a valid message file
    // (0 or less when it is not one), and the control's conversion of bytes to ms.
    struct MessageLength {
        std::function<std::int32_t(const std::string& file)> checkWaveFile;
        std::function<std::int32_t(std::int32_t bytes)> byteToTime;
    };

    explicit frmGetFolder(QWidget* owner = nullptr, MessageLength length = {});

    // Shows the chooser modally; the chosen folder, or "" when the user cancelled.
    std::string mfnsGetFolder(const std::string& sDefault = {}, const std::string& sNewFolder = "新しいフォルダ",
                              int iIndex = 0);

    // The parts the window is made of, for its callers' tests.
    std::string currentFolder() const { return folder_; }
    void setFolder(const std::string& path);  // the folder list moves there
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdCreate_Click();
    QLabel* lblFolder() const { return lblFolder_; }
    QLabel* lblCardName() const { return lblCardName_; }
    QLabel* lblCardError() const { return lblCardError_; }
    QLabel* lblTotalTime() const { return lblTotalTime_; }
    QTableWidget* sstMessage() const { return sstMessage_; }
    QListWidget* fleFolder() const { return fleFolder_; }
    QTreeView* dirFolder() const { return dirFolder_; }
    QPushButton* cmdCreate() const { return cmdCreate_; }
    QGroupBox* fraFolder() const { return fraFolder_; }

protected:
    void reject() override;  // Esc and the close box: nothing chosen

private:
    void dirFolder_Change();
    void showSummary();
    void clearSummary();
    void fitSummary(QWidget* fraMessage);
    void readNameList(const std::string& file, bool& found);
    void setBusy(bool on);
    bool validName(const std::string& name) const;

    MessageLength length_;
    int mode_ = 0;
    std::string folder_;
    std::string selected_;
    std::string proposal_;
    bool followFolder_ = false;
    int summaryGrowth_ = 0;  // height the summary needs beyond its design  // the folder list keeps the chosen folder in view
    QComboBox* drvFolder_;
    QTreeView* dirFolder_;
    QFileSystemModel* dirModel_;
    QListWidget* fleFolder_;
    QLabel* lblTitle_;
    QLabel* lblFolder_;
    QPushButton* cmdOK_;
    QPushButton* cmdCancel_;
    QPushButton* cmdCreate_;
    QGroupBox* fraFolder_;
    QLabel* lblCardName_;
    QLabel* lblCardError_;
    QTableWidget* sstMessage_;
    QLabel* lblTotal_;
    QLabel* lblTotalTime_;
};
