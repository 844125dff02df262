#pragma once
// The about box frmAbout ("ﾊﾞｰｼﾞｮﾝ情報"): the program's version and those of the card
// control, the pipe driver and the reader's firmware, read from a private, disabled
// instance of the card control.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDialog>

class QLabel;
class QPushButton;
namespace com {
class Control;
}

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner = nullptr);  // the load
    ~frmAbout() override;

    void cmdOK_Click();
    void StartSysInfo();
    // One value of the system's registry; False (and KeyVal empty) when the key or the
    // value cannot be read.
    bool GetKeyValue(long KeyRoot, const std::string& KeyName, const std::string& SubKeyRef, std::string& KeyVal);

    QLabel* label(const char* name) const;
    QPushButton* cmdSysInfo() const { return cmdSysInfo_; }

    // The system's registry as the box reads it: the type (1 text, 4 number) and the raw
    // bytes of a value. This system keeps no registry, so by default nothing is found.
    struct RegistryValue {
        int type = 0;
        std::string data;
    };
    using RegistryReader =
        std::function<std::optional<RegistryValue>(long root, const std::string& key, const std::string& name)>;
    static void setRegistryReader(RegistryReader reader);
    // Starts a program with a normal window; tests replace it.
    using ProgramStarter = std::function<bool(const std::string& path)>;
    static void setProgramStarter(ProgramStarter starter);

private:
    QLabel* addLabel(const char* name, const QString& text, int x, int y, int w, int h);
    std::string controlText(const char* member);

    std::unique_ptr<com::Control> crdKVM58S_;
    QPushButton* cmdOK_;
    QPushButton* cmdSysInfo_;
};

// The program's version: major, minor and revision.
inline constexpr int kAppRevision = 0;
// The copyright notice of the program's version information.
inline constexpr const char* kAppCopyright = "Copyright (C) KV-M58S";
