#pragma once
// The whole program in a fresh program folder, wired as its start wires it, with the
// reader's device stack of the program's own start-up (driver from the build, emulated
// reader) and a blank card in the reader. A journey only clicks and types: mouse clicks
// and keys go through Qt's event queue to the widget a person would touch, and the boxes
// that appear are answered through the scripted dialog service.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../app/shell/shell_fixture.h"
#include "devices/system.h"
#include "emulator/card.h"
#include "emulator/reader.h"
#include "shell/program.h"
#include "shell/reader_bus.h"

namespace journey {

// The steps of the schedule menus after their document step.
inline const std::vector<std::string> kScheduleSteps = {"曜日パターン", "休日パターン", "特定日スケジュール", "カードに書込"};

class Journey : public shelltest::ProgramFolder {
protected:
    void SetUp() override;
    void TearDown() override;

    // ---- Hands ----
    // Clicks the widget where a person would: its centre, through the event queue, then
    // lets the program's event loop turn once.
    void click(QWidget* w);
    // Clicks the visible, enabled button of that caption on the page or screen shown.
    void press(const std::string& caption);
    // Types the text into the widget that has the focus.
    void type(const std::string& text);
    // The event loop turns: posted events, timers and deferred deletions.
    static void settle();

    // ---- Eyes ----
    // The step shown: "start" for the start screen, else the highlighted step caption.
    std::string where() const;
    // The visible button of that caption on what is shown, or nullptr.
    QAbstractButton* button(const std::string& caption) const;
    template <class Page>
    Page* page() const {
        return dynamic_cast<Page*>(main_->activePage());
    }

    // ---- Walks ----
    // The boxes that appear each time the step is reached, and their answers.
    struct Box {
        std::string prompt;
        int answer;
    };
    void answerAt(const std::string& step, std::vector<Box> boxes) { boxesAt_[step] = std::move(boxes); }
    // Chooses a menu of the start screen (1..6), which opens on `step`.
    void chooseMenu(int menu, const std::string& step);
    // Presses the caption once for each step listed, checking where each press lands.
    void walk(const std::string& caption, const std::vector<std::string>& steps);
    // The exit menu from the start screen; checks the program's clean-up.
    void exitProgram();

    // A document file of the user's, rich in content; its path.
    std::string richDocument();

    emulator::Reader& reader() const;
    std::string cardFile_;

private:
    void arrive(const std::string& step);
    std::map<std::string, std::vector<Box>> boxesAt_;
};

}  // namespace journey
