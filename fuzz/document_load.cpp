// Opening a document file as the open step does (the header check, the staging copy, the
// engine's own check of the database and the check of its contents), then, when the file
// is taken, each page that shows a document's data: the settings, every day pattern, the
// holiday pattern and the calendar. The program's end on a file a user chose is a finding,
// as is any error that escapes.
#include <cstdint>
#include <cstdlib>

#include <QApplication>

#include "calendar/calendar.h"
#include "forms/controls.h"
#include "patterns/frm_pattern.h"
#include "patterns/links.h"
#include "shell/main_window.h"
#include "support/program.h"
#include "support/scratch.h"
#include "wizard/pages.h"

namespace {

frmMain* loader = nullptr;

constexpr int kMenuFromFile = 2;
// Settings, weekday patterns, holiday pattern, calendar.
constexpr int kDocumentForms[] = {1, 2, 3, 4};

void showPages() {
    for (int form : kDocumentForms) {
        wizard::Page* page = wizard::makePage(form, loader->clientArea());
        page->setGeometry(loader->clientArea()->rect());
        page->show();
        page->msbShowForm(form, kMenuFromFile);
        if (auto* patterns = dynamic_cast<frmPattern*>(page)) {
            for (int n = 0; n <= 21; ++n)
                if (patterns->optPattern(n)->isVisible() && patterns->optPattern(n)->isEnabled())
                    patterns->optPattern(n)->click();
        }
        page->unloadPage();
        delete page;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* app = new QApplication(*argc, *argv);
    fuzz::useProgramFolder();
    fuzz::openNewDocument();
    patterns::registerPages();
    calendar::registerPages();
    loader = new frmMain;
    loader->resize(960, 720);
    // The pages shown once on a new document make the statics Qt keeps for them now, so
    // that the window and the application can go at exit before those statics do, as
    // they go at the end of a main; the font caches the pages filled go with them.
    showPages();
    std::atexit([] {
        delete loader;
        delete app;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::writeInput("doc.kvp", {data, size});
    if (loader->mfnfLoadFile(path)) showPages();
    return 0;
}
