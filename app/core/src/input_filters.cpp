// Keyboard filters, the numeric clamp and the focus helpers.
#include "core/input_filters.h"

#include <QLineEdit>
#include <QWidget>

#include "core/errors.h"
#include "core/uc_numeric.h"
#include "runtime/error.h"
#include "runtime/numeric.h"

namespace {
constexpr int kSjisDigitZero = 0x824F;
constexpr int kWideDigitZero = 0xFF10;

// The digit 0..9 a full-width digit code stands for, or -1.
int wideDigit(int key) {
    const int u = key < 0 ? key + 0x10000 : key;  // a 16-bit code read as negative
    if (u >= kSjisDigitZero && u <= kSjisDigitZero + 9) return u - kSjisDigitZero;
    if (u >= kWideDigitZero && u <= kWideDigitZero + 9) return u - kWideDigitZero;
    return -1;
}

constexpr int kErrInvalidCall = 5;
constexpr int kErrNoObject = 91;
}  // namespace

std::int16_t gfniKeyNumeric(int iKeyAscii) {
    if ((iKeyAscii >= '0' && iKeyAscii <= '9') || iKeyAscii == 8) return static_cast<std::int16_t>(iKeyAscii);
    const int d = wideDigit(iKeyAscii);
    return static_cast<std::int16_t>(d >= 0 ? '0' + d : 0);
}

std::string gfnsLimitNum(std::string_view sText, std::int16_t iMin, std::int16_t iMax) {
    const std::string minText = std::to_string(iMin);
    if (sText.empty() || iMax < iMin || !runtime::isNumeric(sText)) return minText;
    std::int16_t v;
    try {
        v = runtime::cint(runtime::cdbl(sText));
    } catch (const runtime::Error&) {
        return minText;  // outside 16 bits
    }
    if (v < iMin) return minText;
    if (v > iMax) return std::to_string(iMax);
    return std::to_string(v);
}

void gsbSelectAll(QLineEdit* txt) {
    if (txt) txt->setSelection(0, static_cast<int>(txt->text().size()));
}

void gsbSetFocus(QWidget* ctl) {
    try {
        if (!ctl) runtime::raise(kErrNoObject);
        if (ctl->isVisible() && ctl->isEnabled()) ctl->setFocus(Qt::OtherFocusReason);
    } catch (const runtime::Error& e) {
        if (e.number() != kErrInvalidCall && e.number() != kErrNoObject) gsbErrorMsg(e, true);
    }
}

void gsbSetFocusNum(UcNumeric* unm) {
    try {
        if (!unm) runtime::raise(kErrNoObject);
        if (unm->Enabled()) unm->SetFocus();
    } catch (const runtime::Error& e) {
        if (e.number() != kErrInvalidCall && e.number() != kErrNoObject) gsbErrorMsg(e, true);
    }
}
