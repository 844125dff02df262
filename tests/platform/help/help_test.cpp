#include "help/help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "forms/msgbox.h"

namespace fs = std::filesystem;

namespace {

class TempHelpFile {
public:
    TempHelpFile() : path_(fs::temp_directory_path() / ("kv_help_" + std::to_string(::getpid()) + ".chm")) {
        std::ofstream(path_) << "help";
    }
    ~TempHelpFile() { fs::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

}  // namespace

TEST(Help, RecordingViewerSeesEveryCallWithItsContext) {
    help::RecordingViewer rec;
    help::showContext(nullptr, "/x/QPN_RDX.chm", 60);
    help::showContents(nullptr, "/x/QPN_RDX.chm");
    help::showIndex(nullptr, "/x/QPN_RDX.chm", "");
    help::showContext(nullptr, "/x/QPN_RDX.chm", 180);
    help::closeAll();

    ASSERT_EQ(rec.requests().size(), 5u);
    EXPECT_EQ(rec.contexts(), (std::vector<long>{60, 180}));
    EXPECT_EQ(rec.requests()[1].command, help::Command::Contents);
    EXPECT_EQ(rec.requests()[2].command, help::Command::Index);
    EXPECT_EQ(rec.requests()[2].keyword, "");
    EXPECT_EQ(rec.requests()[4].command, help::Command::CloseAll);
    EXPECT_EQ(rec.requests()[0].file, "/x/QPN_RDX.chm");
}

TEST(Help, RecordingViewerRestoresThePreviousViewer) {
    help::Viewer* before = &help::viewer();
    {
        help::RecordingViewer outer;
        {
            help::RecordingViewer inner;
            help::showContext(nullptr, "f", 10);
            EXPECT_EQ(inner.contexts().size(), 1u);
        }
        EXPECT_EQ(&help::viewer(), &outer);
        EXPECT_TRUE(outer.requests().empty());
    }
    EXPECT_EQ(&help::viewer(), before);
}

TEST(Help, MissingHelpFileSaysHelpIsNotInstalledAndOpensNothing) {
    int opened = 0;
    help::SystemViewer viewer([&](const std::string&) { return ++opened, true; });
    forms::ScriptedDialogs dialogs;
    dialogs.expect("QPN_RDX.chm）がインストールされていません。").expect("インストールされていません。");
    viewer.handle({help::Command::Context, "/nowhere/QPN_RDX.chm", 20, {}, nullptr});
    viewer.handle({help::Command::Contents, "", 0, {}, nullptr});
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(dialogs.pending(), 0u);
}

TEST(Help, PresentHelpFileGoesToTheDesktopViewer) {
    TempHelpFile file;
    std::vector<std::string> opened;
    help::SystemViewer viewer([&](const std::string& f) { return opened.push_back(f), true; });
    forms::ScriptedDialogs dialogs;  // no box expected
    viewer.handle({help::Command::Context, file.path(), 120, {}, nullptr});
    viewer.handle({help::Command::Index, file.path(), 0, "", nullptr});
    viewer.handle({help::Command::CloseAll, {}, 0, {}, nullptr});
    EXPECT_EQ(opened, (std::vector<std::string>{file.path(), file.path()}));
}

TEST(Help, NoDesktopViewerForTheFileIsReported) {
    TempHelpFile file;
    help::SystemViewer viewer([](const std::string&) { return false; });
    forms::ScriptedDialogs dialogs;
    dialogs.expect("表示できるアプリケーションがありません。");
    viewer.handle({help::Command::Contents, file.path(), 0, {}, nullptr});
    EXPECT_EQ(dialogs.pending(), 0u);
}
