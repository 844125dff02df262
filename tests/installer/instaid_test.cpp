#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "installer/instaid.h"
#include "msi/module.h"
#include "msi/session.h"

namespace {

struct Case {
    const char* folder;  // under the fake libraries' folder; "absent" holds none
    std::optional<std::string> property;
};

class ProbeTest : public ::testing::TestWithParam<Case> {};

TEST_P(ProbeTest, SucceedsAndSetsThePropertyOnlyWhenTheExportExists) {
    const Case& c = GetParam();
    msi::setModuleSearchPath({std::string(FAKE_MAPI_DIR) + "/" + c.folder});
    msi::Session session;
    EXPECT_EQ(IsHrDispatchExported(session.handle()), 0u);
    EXPECT_EQ(session.property("HRDISPATCHEXPORTED"), c.property);
    msi::setModuleSearchPath({});
}

INSTANTIATE_TEST_SUITE_P(MailLibrary, ProbeTest,
                         ::testing::Values(Case{"absent", std::nullopt}, Case{"without", std::nullopt},
                                           Case{"with", std::string("True")}));

TEST(ModuleProbe, LoadWithoutInitRunsNoStartUpCode) {
    msi::setModuleSearchPath({std::string(FAKE_MAPI_DIR) + "/with"});
    unsetenv("FAKE_MAPI_STARTED");
    {
        msi::Module probe = msi::loadModuleWithoutInit("Mapi32.dll");
        EXPECT_TRUE(probe.loaded());
        EXPECT_EQ(probe.symbol("HrDispatchNotifications@4"), nullptr);
        EXPECT_EQ(std::getenv("FAKE_MAPI_STARTED"), nullptr);
    }
    msi::setModuleSearchPath({});
}

TEST(ModuleProbe, AFileThatIsNoLibraryIsNotLoaded) {
    const auto dir = std::filesystem::temp_directory_path() / "kv_fake_mapi_text";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "libmapi32.so") << "not a library\n";
    msi::setModuleSearchPath({dir});
    msi::Session session;
    EXPECT_FALSE(msi::loadModuleWithoutInit("Mapi32.dll").loaded());
    EXPECT_EQ(IsHrDispatchExported(session.handle()), 0u);
    EXPECT_EQ(session.property("HRDISPATCHEXPORTED"), std::nullopt);
    msi::setModuleSearchPath({});
    std::filesystem::remove_all(dir);
}

TEST(InstallSession, PropertyOfAClosedSessionIsRefused) {
    msi::MSIHANDLE stale;
    {
        msi::Session s;
        stale = s.handle();
    }
    EXPECT_EQ(msi::MsiSetProperty(stale, "X", "1"), msi::ERROR_INVALID_HANDLE);
    EXPECT_EQ(IsHrDispatchExported(stale), 0u);
}

}  // namespace
