#pragma once
// The window that shows the wizard's pages, as the pages see it. The main window frmMain
// implements it and is the host while it lives; the pages reach it through host() and
// so never include the shell that composes them. Without a host (a page tested alone)
// host() is null and the pages do without it.
#include <string>

class QWidget;

namespace wizard {

class Page;

class Host {
public:
    // ---- The step bar ----
    virtual void msbShowNext() = 0;
    virtual void msbShowBack() = 0;
    // Enables the step bar with its colours and labels.
    virtual void msbWizardEnable(bool fEnable) = 0;
    // Enables or disables the step bar alone, its look unchanged, for the moments a page
    // must not be left.
    virtual void setStepBarEnabled(bool on) = 0;

    // ---- The document ----
    virtual bool mfnfMakeNewFile() = 0;
    virtual void msbSetFileName(const std::string& sFileName) = 0;
    virtual bool pfnfFileSave(const std::string& sFileName) = 0;
    // The document's name as the status line shows it ("" before there is one).
    virtual std::string shownFileName() const = 0;

    // The window that owns the pages' dialogs, and that a page disables while it works.
    virtual QWidget* hostWindow() = 0;
    // The page the current step shows, or null.
    virtual Page* activePage() const = 0;

protected:
    ~Host() = default;
};

// The host of the run, or null while there is none.
Host* host();
// The main window makes itself the host while it lives; only the host itself clears it.
void setHost(Host* h);
void clearHost(const Host* h);
// The host's window, or null without a host: the owner for a page's dialogs.
QWidget* hostWindow();

}  // namespace wizard
