// The program's parts joined: the pages every step shows, the card control's class, and
// the links between windows that lie beside each other.
#include "shell/program.h"

#include <dlfcn.h>

#include <filesystem>

#include "calendar/calendar.h"
#include "card/window.h"
#include "com/registry.h"
#include "core/globals.h"
#include "core/log.h"
#include "forms/msgbox.h"
#include "patterns/frm_pattern.h"
#include "patterns/links.h"
#include "patterns/frm_pattern_copy.h"
#include "print/print.h"
#include "shell/error_check.h"
#include "shell/main_window.h"

namespace {

// The card window calls windows that lie beside it; the program joins them.
void linkCardWindow() {
    card::setDataCheck([](int mode) { return frmError::gfnfCheckDataError(mode, mainWindow()); });
    card::setPatternViewer([] {
        frmPatternCopy viewer(nullptr, mainWindow());
        viewer.mfnfShowForm(1, 1);
    });
    // The card information report reads the card window's own control.
    card::setCardPrinter([](int mode, int service) {
        auto* page = mainWindow() ? dynamic_cast<frmCard*>(mainWindow()->activePage()) : nullptr;
        print::setCardControl(page ? page->crdKVM58().control() : nullptr);
        gsbShowPrinter(static_cast<std::int16_t>(mode), static_cast<std::int16_t>(service));
        print::setCardControl(nullptr);
    });
}

// The windows of the day patterns and of the calendar call each other through links that
// the start installs, so that neither library depends on the other.
void linkWindows() {
    patterns::setScheduleReturn([] { calendar::returnFromPatternEditor(); });
    patterns::setHolidayEditor([](QWidget* owner) { calendar::showHolidayRuleEditor(owner); });
    calendar::setPrinterHook(
        [](int mode, int no) { gsbShowPrinter(static_cast<std::int16_t>(mode), static_cast<std::int16_t>(no)); });
    calendar::setPatternEditorHook([](int pattern, const std::string& date) {
        QWidget* client = mainWindow()->clientArea();
        auto* editor = new frmPattern(client);
        editor->setGeometry(client->rect());
        editor->show();
        editor->msbShowForm(pattern, date);
    });
}

// The reader's device stack: the driver from the program folder and the bus of the
// emulated or the real reader, in the module beside the program. Without it the program
// still runs and every card operation reports that no reader is there.
void startDeviceStack(const std::filesystem::path& moduleFolder) {
    using Start = const char* (*)(const char*);
    const std::string module = (moduleFolder / "libkv_device_stack.so").string();
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);  // stays loaded
    const auto start = handle ? reinterpret_cast<Start>(dlsym(handle, "kvStartDeviceStack")) : nullptr;
    const char* failure = start ? nullptr : dlerror();
    const std::string error = start ? start(gstrDataPath.c_str()) : module + " " + (failure ? failure : "");
    if (!error.empty()) gsbWriteLog("カードリーダー準備エラー " + error);
}

// The card control comes from its library in the program folder. The first control made
// starts the device stack, since only the card window and the about box make one: the start
// screen never waits for the driver and the emulated card, and a run that never needs the
// reader never loads them.
void registerCardControl(const std::string& programFolder) {
    com::registerClass("Card_KVM58", [programFolder] {
        startDeviceStack(programFolder);
        com::registerLibraryClass("Card_KVM58", "libRDXKVM58.so");
        std::unique_ptr<com::Control> control;
        com::createInstance("Card_KVM58", control);
        return control;
    });
}

}  // namespace

namespace shell {

void setUpProgram(const std::string& programFolder) {
    forms::setApplicationTitle(std::string(kAppTitle));
    card::registerPages();
    com::setLibraryFolder(programFolder);
    registerCardControl(programFolder);
    patterns::registerPages();
    patterns::setPrintEntry([](int mode, int no) { gsbShowPrinter(static_cast<std::int16_t>(mode), static_cast<std::int16_t>(no)); });
    calendar::registerPages();
    linkWindows();
    linkCardWindow();
}

}  // namespace shell
