#include "core/help.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "core/globals.h"
#include "help/help.h"

namespace {

// Restores the globals and the help settings a test changes.
class HelpAccess : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = gstrDataPath;
        savedBrand_ = gfBrandMode;
        gstrDataPath = "/opt/kv/";
        setAppHelpFile("");
        setHelpOwner(&main_);
    }
    void TearDown() override {
        gstrDataPath = savedPath_;
        gfBrandMode = savedBrand_;
        setAppHelpFile("");
        setHelpOwner(nullptr);
    }

    QWidget main_;
    help::RecordingViewer viewer_;
    std::string savedPath_;
    VbBool savedBrand_ = vbFalse;
};

}  // namespace

TEST_F(HelpAccess, WindowsAskForTheirTopicOwnedByTheMainWindow) {
    gfBrandMode = vbFalse;
    gsbHelpContext(kHelpCalendar);
    gsbHelpContents();
    gsbHelpIndex();
    gsbHelpContext(-1);  // passed on unchanged
    gsbHtmlHelpClose();

    const auto& r = viewer_.requests();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(viewer_.contexts(), (std::vector<long>{60, -1}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r[i].file, "/opt/kv/QPN_RDX.chm");
        EXPECT_EQ(r[i].owner, &main_);
    }
    EXPECT_EQ(r[1].command, help::Command::Contents);
    EXPECT_EQ(r[2].command, help::Command::Index);
    EXPECT_EQ(r[2].keyword, "");
    EXPECT_EQ(r[4].command, help::Command::CloseAll);
}

TEST_F(HelpAccess, BrandModeUsesItsOwnHelpFile) {
    gfBrandMode = vbTrue;
    gsbHelpContext(kHelpStartScreen);
    EXPECT_EQ(viewer_.requests().at(0).file, "/opt/kv/RDX.chm");
    setAppHelpFile("/elsewhere/help.chm");
    gsbHelpContents();
    EXPECT_EQ(viewer_.requests().at(1).file, "/elsewhere/help.chm");
}
