#include "core/help.h"

#include <QPointer>
#include <QWidget>

#include <utility>

#include "core/globals.h"
#include "help/help.h"

namespace {

// Forgets the main window when it goes, so that no later request names a window that is gone.
QPointer<QWidget>& owner() {
    static QPointer<QWidget> w;
    return w;
}

std::string& helpFileSetting() {
    static std::string f;
    return f;
}

}  // namespace

void setHelpOwner(QWidget* w) { owner() = w; }
QWidget* helpOwner() { return owner(); }

void setAppHelpFile(std::string path) { helpFileSetting() = std::move(path); }

std::string appHelpFile() {
    if (!helpFileSetting().empty()) return helpFileSetting();
    return gstrDataPath + (gfBrandMode ? "RDX.chm" : "QPN_RDX.chm");
}

void gsbHtmlHelpContext(QWidget* w, long lContextId) { help::showContext(w, appHelpFile(), lContextId); }
void gsbHtmlHelpContents(QWidget* w) { help::showContents(w, appHelpFile()); }
void gsbHtmlHelpKeyWord(QWidget* w, const std::string& sKeyWord) { help::showIndex(w, appHelpFile(), sKeyWord); }
void gsbHtmlHelpClose() { help::closeAll(); }

void gsbHelpContents() { gsbHtmlHelpContents(helpOwner()); }
void gsbHelpIndex() { gsbHtmlHelpKeyWord(helpOwner(), ""); }
void gsbHelpContext(long lContextId) { gsbHtmlHelpContext(helpOwner(), lContextId); }
