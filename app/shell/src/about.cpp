// The about box.
#include "shell/about.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStyle>

#include <cstdio>
#include <utility>

#include "com/registry.h"
#include "core/file_header.h"
#include "core/files.h"
#include "core/globals.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/format.h"
#include "shell/main_window.h"

namespace {

constexpr long HKEY_LOCAL_MACHINE = 0x80000002L;

frmAbout::RegistryReader& registryReader() {
    static frmAbout::RegistryReader reader;
    return reader;
}

frmAbout::ProgramStarter& programStarter() {
    static frmAbout::ProgramStarter starter = [](const std::string& path) {
        return QProcess::startDetached(QString::fromStdString(path), {});
    };
    return starter;
}

const char* const kDisclaimer =
    "このソフトウェアは著作権法により保護されています。無断で複製、改変、配布することは禁じられています。\n"
    "このソフトウェアの使用によって生じたいかなる損害についても、責任を負いかねますのでご了承ください。";

}  // namespace

void frmAbout::setRegistryReader(RegistryReader reader) { registryReader() = std::move(reader); }

void frmAbout::setProgramStarter(ProgramStarter starter) {
    if (starter) programStarter() = std::move(starter);
}

frmAbout::frmAbout(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("frmAbout");
    setWindowTitle("ﾊﾞｰｼﾞｮﾝ情報");
    setModal(true);
    auto* picIcon = new QLabel(this);
    picIcon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    picIcon->setGeometry(16, 16, 32, 32);

    // The private instance only reads: disabled first, so that it never polls the reader.
    if (com::createInstance("Card_KVM58", crdKVM58S_) == com::Ok && crdKVM58S_) {
        com::DispId id = 0;
        if (crdKVM58S_->idOfName("Enabled", id) == com::Ok)
            com::putProperty(*crdKVM58S_, id, com::Variant::boolean(false));
    }
    const std::string version = "ﾊﾞｰｼﾞｮﾝ " + runtime::format(kAppMajor, "#0") + "." +
                                runtime::format(kAppMinor, "00") + "." + runtime::format(kAppRevision, "000");
    addLabel("lblVersion", QString::fromStdString(version), 64, 40, 300, 18);
    addLabel("lblTitle", QString::fromStdString(std::string(kAppTitle)), 64, 16, 300, 20);
    addLabel("lblFileVer", QString::fromStdString("ﾌｧｲﾙ " + std::string(kFileVersion)), 64, 60, 300, 18);
    QLabel* disclaimer = addLabel("lblDisclaimer", kDisclaimer, 16, 200, 420, 80);
    disclaimer->setWordWrap(true);
    addLabel("lblDescription", kAppCopyright, 64, 80, 360, 18);
    cmdSysInfo_ = new QPushButton("ｼｽﾃﾑ情報(&S)...", this);
    cmdSysInfo_->setGeometry(340, 320, 110, 26);
    cmdSysInfo_->setVisible(gintLogMode != vbFalse);
    addLabel("lblRDX_700", "RDX-700", 64, 110, 300, 18);
    addLabel("lblActiveX", QString::fromStdString("Control Ver." + controlText("MyVersion")), 80, 130, 340, 18);
    addLabel("lblDriver", QString::fromStdString("Driver Ver." + controlText("DriverVersion")), 80, 150, 340, 18);
    addLabel("lblRDX_CPU", QString::fromStdString("CPU Ver." + controlText("RdxCpuVersion")), 80, 170, 340, 18);

    cmdOK_ = new QPushButton("OK", this);
    cmdOK_->setToolTip("メニュー画面に戻ります。");
    cmdOK_->setDefault(true);
    cmdOK_->setGeometry(340, 288, 110, 26);
    connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdSysInfo_, &QPushButton::clicked, this, [this] { StartSysInfo(); });
    setFixedSize(466, 360);
    if (owner) move(owner->geometry().center() - rect().center());
}

frmAbout::~frmAbout() = default;

QLabel* frmAbout::addLabel(const char* name, const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    label->setGeometry(x, y, w, h);
    return label;
}

QLabel* frmAbout::label(const char* name) const { return findChild<QLabel*>(name); }

// A version property of the control as text; whatever it answers is shown unchecked.
std::string frmAbout::controlText(const char* member) {
    if (!crdKVM58S_) return {};
    com::DispId id = 0;
    com::Variant value;
    if (crdKVM58S_->idOfName(member, id) != com::Ok) return {};
    if (com::getProperty(*crdKVM58S_, id, value) != com::Ok) return {};
    return value.asString();
}

void frmAbout::cmdOK_Click() {
    setEnabled(false);
    hide();
    forms::doEvents();
    accept();
}

void frmAbout::StartSysInfo() {
    std::string path;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", path) &&
        programStarter()(path))
        return;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", path)) {
        const std::string program = path + "\\MSINFO32.EXE";
        if (gfnfFileExists(program) && programStarter()(program)) return;
    }
    forms::MsgBox("現時点ではｼｽﾃﾑ情報を使用できません", forms::vbOKOnly);
}

bool frmAbout::GetKeyValue(long KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                           std::string& KeyVal) {
    KeyVal.clear();
    if (!registryReader()) return false;
    std::optional<RegistryValue> value = registryReader()(KeyRoot, KeyName, SubKeyRef);
    if (!value) return false;
    std::string data = value->data.substr(0, 1024);
    if (!data.empty() && data.back() == '\0') data.pop_back();
    if (value->type == 1) {
        KeyVal = data;
    } else if (value->type == 4) {
        // Last byte first, each as two hex digits, so that inner zero bytes keep their place.
        unsigned long long n = 0;
        for (auto it = data.rbegin(); it != data.rend(); ++it) n = (n << 8) | static_cast<unsigned char>(*it);
        KeyVal = std::to_string(n);
    }
    return true;
}
