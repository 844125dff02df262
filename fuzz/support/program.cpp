#include "program.h"

#include <filesystem>

#include "core/database.h"
#include "core/files.h"
#include "core/globals.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"
#include "runtime/datetime.h"
#include "scratch.h"

namespace fuzz {
namespace fs = std::filesystem;
namespace {

// Any box: the answer that changes least.
class AnswerEverything final : public forms::DialogService {
public:
    int messageBox(const forms::MessageBoxRequest& request) override {
        switch (request.style & 0x0F) {
        case forms::vbOKOnly: return forms::vbOK;
        case forms::vbAbortRetryIgnore: return forms::vbAbort;
        case forms::vbYesNo:
        case forms::vbYesNoCancel: return forms::vbNo;
        default: return forms::vbCancel;
        }
    }
};

constexpr std::string_view kNewDocument = "New.dat";

}  // namespace

void useProgramFolder() {
    static bool done = false;
    if (done) return;
    done = true;
    static AnswerEverything dialogs;
    static forms::ThrowOnFatal fatal;
    static runtime::FixedClock clock({2027, 1, 1, 9, 0, 0});
    forms::setDialogService(&dialogs);
    gstrDataPath = scratch().string() + "/";
    setAppPathForTesting(scratch().string());
    gintLogMode = vbFalse;
    fs::copy_file(KV_MASTER_DAT, programFile(kMasterDat), fs::copy_options::overwrite_existing);
    createDocumentFromMaster(programFile(kNewDocument));
}

std::string programFile(std::string_view name) { return gstrDataPath + std::string(name); }

void openNewDocument() {
    gsbCloseDatabase(gdbWork);
    fs::copy_file(programFile(kNewDocument), programFile(kRegistDat), fs::copy_options::overwrite_existing);
    gdbWork = dao::Database::open(programFile(kRegistDat));
}

}  // namespace fuzz
