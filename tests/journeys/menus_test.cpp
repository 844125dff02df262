// Each menu of the start screen walked with the mouse: 次へ through every step to the end,
// 戻る through every step back to the start, and the exit menu at the end of each walk.
#include <algorithm>

#include "journey.h"

namespace journey {
namespace {

std::vector<std::string> backFrom(std::vector<std::string> steps) {
    steps.pop_back();
    std::reverse(steps.begin(), steps.end());
    steps.push_back("start");
    return steps;
}

// The holiday pattern stays unused and the blank card stays blank on these walks.
class Menus : public Journey {
protected:
    void SetUp() override {
        Journey::SetUp();
        answerAt("休日パターン", {{"祝日を使用しますか？", forms::vbNo}});
        answerAt("カードに書込", {{"今すぐ初期化しますか？", forms::vbNo}});
    }
    const std::vector<std::string> forward{kScheduleSteps.begin() + 1, kScheduleSteps.end()};
};

TEST_F(Menus, NewDocumentForwardToTheEndAndBackToTheStart) {
    chooseMenu(1, kScheduleSteps.front());
    walk("次へ", forward);
    walk("戻る", backFrom(kScheduleSteps));
    chooseMenu(1, kScheduleSteps.front());
    walk("次へ", forward);
    walk("次へ", {"start"});
    exitProgram();
}

TEST_F(Menus, DocumentFromAFileForwardAndBackToTheStart) {
    dialogs_.expectFile(forms::FileDialogRequest::Open, richDocument());
    chooseMenu(2, kScheduleSteps.front());
    walk("次へ", forward);
    walk("戻る", backFrom(kScheduleSteps));
    exitProgram();
}

}  // namespace
}  // namespace journey
