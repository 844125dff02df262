// The card pages in the wizard, the control's library, and the services of other
// windows that the card window calls.
#include <filesystem>
#include <functional>

#include "card/window.h"
#include "com/registry.h"
#include "core/files.h"
#include "window_hooks.h"
#include "wizard/host.h"

namespace card {
namespace {

std::function<bool(int)>& dataCheck() {
    static std::function<bool(int)> f;
    return f;
}
std::function<void()>& patternViewer() {
    static std::function<void()> f;
    return f;
}
std::function<void(int, int)>& cardPrinter() {
    static std::function<void(int, int)> f;
    return f;
}

std::function<std::string(const std::string&, const std::string&, int)>& folderChooser() {
    static std::function<std::string(const std::string&, const std::string&, int)> f;
    return f;
}

}  // namespace

void setFolderChooser(std::function<std::string(const std::string&, const std::string&, int)> choose) {
    folderChooser() = std::move(choose);
}

void setDataCheck(std::function<bool(int)> check) { dataCheck() = std::move(check); }
void setPatternViewer(std::function<void()> show) { patternViewer() = std::move(show); }
void setCardPrinter(std::function<void(int, int)> print) { cardPrinter() = std::move(print); }

namespace hooks {
// Until the check window is registered, a document counts as free of errors.
bool checkData(int iMode) { return dataCheck() ? dataCheck()(iMode) : true; }
void showPatterns() {
    if (patternViewer()) patternViewer()();
}
void printCardReport(int iMode, int iService) {
    if (cardPrinter()) cardPrinter()(iMode, iService);
}
// The program's folder chooser, unless another one is registered.
std::string chooseFolder(const std::string& sDefault, const std::string& sNewFolder, int iIndex,
                         frmGetFolder::MessageLength length) {
    if (folderChooser()) return folderChooser()(sDefault, sNewFolder, iIndex);
    frmGetFolder chooser(wizard::hostWindow(), std::move(length));
    return chooser.mfnsGetFolder(sDefault, sNewFolder, iIndex);
}
}  // namespace hooks

void registerControlLibrary() {
    const std::string folder = gfnsAppPath();
    com::setLibraryFolder(folder);
    com::registerLibraryClass(kControlClass, "libRDXKVM58.so");
}

void registerPages() {
    registerControlLibrary();
    for (int formNo : {5, 6, 7, 8, 9, 20})
        wizard::registerPage(formNo, [](QWidget* parent) { return new frmCard(parent); });
}

}  // namespace card
