// The about box.
#include <QLabel>
#include <QPushButton>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "com/registry.h"
#include "shell/about.h"
#include "shell_fixture.h"

namespace {

// A control that answers fixed versions and records the order of the calls.
class VersionControl : public com::Control {
public:
    static inline std::vector<std::string>* calls = nullptr;
    com::HResult invoke(com::DispId id, com::Invoke kind, std::span<com::Variant>, com::Variant* result) noexcept override {
        static const std::map<com::DispId, std::pair<std::string, std::string>> members = {
            {1, {"Enabled", ""}}, {2, {"MyVersion", "1.0.0.1"}}, {3, {"DriverVersion", "1.0.0.1"}},
            {4, {"RdxCpuVersion", "-.--"}}};
        auto it = members.find(id);
        if (it == members.end()) return com::MemberNotFound;
        calls->push_back((kind == com::Invoke::PropertyPut ? "put " : "get ") + it->second.first);
        if (result) *result = com::Variant::bstr(it->second.second);
        return com::Ok;
    }
    com::HResult idOfName(std::string_view name, com::DispId& id) const noexcept override {
        static const std::map<std::string_view, com::DispId> ids = {
            {"Enabled", 1}, {"MyVersion", 2}, {"DriverVersion", 3}, {"RdxCpuVersion", 4}};
        auto it = ids.find(name);
        if (it == ids.end()) return com::UnknownName;
        id = it->second;
        return com::Ok;
    }
    void setSite(com::HostSite*) noexcept override {}
    void onTimer(unsigned) noexcept override {}
    void advise(com::EventSink*) noexcept override {}
    void unadvise(com::EventSink*) noexcept override {}
};

class AboutBox : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        VersionControl::calls = &calls_;
        com::registerClass("Card_KVM58", [] { return std::make_unique<VersionControl>(); });
    }
    void TearDown() override {
        com::unregisterClass("Card_KVM58");
        frmAbout::setRegistryReader({});
        ProgramFolder::TearDown();
    }
    std::vector<std::string> calls_;
};

TEST_F(AboutBox, ShowsTheVersionsOfADisabledPrivateControl) {
    frmAbout about;
    EXPECT_EQ(calls_, (std::vector<std::string>{"put Enabled", "get MyVersion", "get DriverVersion",
                                                "get RdxCpuVersion"}));
    EXPECT_EQ(about.label("lblVersion")->text().toStdString(), "ﾊﾞｰｼﾞｮﾝ 1.01.000");
    EXPECT_EQ(about.label("lblFileVer")->text().toStdString(), "ﾌｧｲﾙ 101");
    EXPECT_EQ(about.label("lblActiveX")->text().toStdString(), "Control Ver.1.0.0.1");
    EXPECT_EQ(about.label("lblRDX_CPU")->text().toStdString(), "CPU Ver.-.--");
    EXPECT_TRUE(about.cmdSysInfo()->isHidden()) << "outside log mode";
}

TEST_F(AboutBox, SystemInformationAndTheRegistry) {
    gintLogMode = vbTrue;
    frmAbout about;
    EXPECT_FALSE(about.cmdSysInfo()->isHidden());
    dialogs_.expect("現時点ではｼｽﾃﾑ情報を使用できません");
    about.StartSysInfo();
    EXPECT_EQ(dialogs_.pending(), 0u);

    frmAbout::setRegistryReader([](long, const std::string&, const std::string& name)
                                    -> std::optional<frmAbout::RegistryValue> {
        if (name == "PATH") return frmAbout::RegistryValue{1, std::string("/opt/msinfo\0", 12)};
        if (name == "N") return frmAbout::RegistryValue{4, std::string("\x0A\x00\x01\x00", 4)};
        return std::nullopt;
    });
    std::string value = "stale";
    EXPECT_FALSE(about.GetKeyValue(0x80000002L, "K", "missing", value));
    EXPECT_EQ(value, "");
    ASSERT_TRUE(about.GetKeyValue(0x80000002L, "K", "PATH", value));
    EXPECT_EQ(value, "/opt/msinfo");
    ASSERT_TRUE(about.GetKeyValue(0x80000002L, "K", "N", value));
    EXPECT_EQ(value, "65546") << "an inner zero byte keeps its place";
    std::string started;
    frmAbout::setProgramStarter([&](const std::string& path) {
        started = path;
        return true;
    });
    about.StartSysInfo();
    EXPECT_EQ(started, "/opt/msinfo");
}

}  // namespace
