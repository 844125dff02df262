#include <QApplication>

#include "core/errors.h"
#include "core/messages.h"
#include "print/modal.h"
#include "print/print.h"
#include "print/print_dialog.h"
#include "printer/printer.h"
#include "runtime/error.h"
#include "wizard/host.h"

namespace print {
namespace {
com::Control*& cardControlSlot() {
    static com::Control* control = nullptr;
    return control;
}
}  // namespace

void setCardControl(com::Control* control) { cardControlSlot() = control; }
com::Control* cardControl() { return cardControlSlot(); }

}  // namespace print

void gsbShowPrinter(std::int16_t iPrintMode, std::int16_t iNo) {
    try {
        (void)printer::currentPrinter().deviceName();
        frmPrinter dialog(wizard::hostWindow());
        if (!print::sinks().documentName)
            print::sinks().documentName = [] {
                const wizard::Host* host = wizard::host();
                return host ? host->shownFileName() : std::string();
            };
        dialog.msbInitialize(iPrintMode, iNo);
        dialog.Form_Load();
        print::showModal(dialog);
    } catch (const runtime::Error& e) {
        if (e.number() == runtime::err::PrinterInfo)
            gfniMsgBox(202);
        else
            gsbErrorMsg(e, true);
    }
}
