// Progress of the card operations in the progress window: the operation's steps and the
// control's position events merged into one bar, and a confirmed Cancel turned into the
// error that ends the running operation.
#include <QLabel>
#include <QProgressBar>

#include "card/window.h"
#include "core/globals.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "wizard/host.h"
#include "wizard/progress.h"

namespace {
constexpr long kCancelError = 32755;
}

void frmCard::msbWorkingStart(int iSteps, const std::string& sText) {
    if (iSteps * 100L > 32767) runtime::raise(6);  // the bar's maximum is a 16-bit value
    if (!frmWorking_) frmWorking_ = std::make_unique<frmWorking>(wizard::hostWindow());
    frmWorking_->pgbWorking()->setRange(0, iSteps * 100);
    frmWorking_->pgbWorking()->setValue(1);
    frmWorking_->lblWorking()->setText(QString::fromStdString(sText));
    frmWorking_->show();
}

void frmCard::msbWorkingProgress(int iValue, const std::string& sText) {
    forms::setScreenPointer(forms::vbDefault);
    forms::doEvents();
    if (frmWorking_) {
        if (!sText.empty()) frmWorking_->lblWorking()->setText(QString::fromStdString(sText));
        if (iValue >= 0) {
            const float value = mlngWorkingLength_ != 0
                                    ? static_cast<float>(iValue) / static_cast<float>(mlngWorkingLength_) * 100.0f +
                                          static_cast<float>(mlngWorkingBase_)
                                    : static_cast<float>(mlngWorkingBase_);
            frmWorking_->pgbWorking()->setValue(static_cast<int>(value));
        }
    }
    forms::setScreenPointer(forms::vbHourglass);
    forms::doEvents();
    if (gfCancel != vbFalse) runtime::raise(kCancelError);
}

void frmCard::workingValue(int value) {
    forms::doEvents();
    if (frmWorking_) frmWorking_->pgbWorking()->setValue(value);
    forms::doEvents();
    if (gfCancel != vbFalse) runtime::raise(kCancelError);
}

void frmCard::msbWorkingEnd(const std::string& sText) {
    forms::setScreenPointer(forms::vbDefault);
    if (frmWorking_) frmWorking_->pgbWorking()->setValue(frmWorking_->pgbWorking()->maximum());
    forms::doEvents();
    if (!sText.empty()) forms::MsgBox(sText, forms::vbOKOnly);
    unloadWorking();
    forms::doEvents();
}

void frmCard::unloadWorking() {
    if (frmWorking_) frmWorking_.reset();
}
