// Opening a document file: the header check, the staging copy and the database probe of the
// main window's loader.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <QApplication>

#include "forms/fatal.h"
#include "runtime/error.h"
#include "shell/main_window.h"
#include "support/program.h"
#include "support/scratch.h"

namespace {
frmMain* loader = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication app(*argc, *argv);
    fuzz::useProgramFolder();
    fuzz::openNewDocument();
    static frmMain window;
    loader = &window;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::writeInput("doc.kvp", {data, size});
    try {
        loader->mfnfLoadFile(path);
    } catch (const runtime::Error&) {
    } catch (const forms::ProgramEnded&) {
    }
    return 0;
}
