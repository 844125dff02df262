// The entry frames of the settings page: which frame a setting uses, the ten-key pad
// with its value rules, and the word, number and message choices.
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>

#include "core/errors.h"
#include "core/input_filters.h"
#include "core/strings.h"
#include "forms/services.h"
#include "patterns/frm_setting.h"
#include "runtime/numeric.h"
#include "widget_props.h"

using namespace patterns::detail;

namespace {
constexpr int kTenKeyClear = 10;
constexpr int kCodeSetting = 1;
const char* const kNoCode = "----";

// The numbers the number frame offers for settings 4, 5 and 6.
struct NumberRange {
    std::int16_t min;
    std::int16_t max;
};
NumberRange numberRange(int no) { return no == 4 ? NumberRange{1, 9} : NumberRange{0, 5}; }

// The index a choice value names, or -1 when it names none in min..max.
int choiceIndex(const std::string& value, int min, int max) {
    const double v = runtime::val(value);
    if (v < min || v > max || v != static_cast<int>(v)) return -1;
    return static_cast<int>(v);
}
}  // namespace

std::string frmSetting::shownWords(int no, const std::string& value) {
    if (no >= 4 && no <= 6) {
        const NumberRange range = numberRange(no);
        if (choiceIndex(value, range.min, range.max) < 0) return {};
    }
    return gfnsSettingToStr(no, value);
}

// A stored value that no button offers stays as it is: no button is selected, so
// setting up the frame writes nothing back until the user picks one.
template <std::size_t N>
forms::OptionButton* frmSetting::selectChoice(std::array<forms::OptionButton*, N>& buttons, const std::string& value,
                                              int min, int max) {
    const int index = choiceIndex(value, min, max);
    if (index < 0 || buttons[index]->isHidden()) {
        for (auto* b : buttons) b->setValue(false);
        return nullptr;
    }
    buttons[index]->setValue(true);
    return buttons[index];
}

void frmSetting::lblSettingNo_Change() {
    setEnabled(false);
    const std::string saved = caption();
    setCaption(baseTitle_);
    baseTitle_.clear();
    const int r = static_cast<int>(runtime::val(lblSettingNo_->text().toStdString()));
    const std::string value = sstSetting_->text(4, r);
    const int no = static_cast<int>(runtime::val(sstSetting_->text(5, r)));
    lblHint_->setText(qs(sstSetting_->text(7, r)));
    settingUp_ = true;
    sstSetting_->setActiveCell(1, r);
    settingUp_ = false;
    record_ = {static_cast<std::int16_t>(no), value};
    int frame = -1;
    QWidget* target = nullptr;
    switch (no) {
    case 1: case 2: case 7:
        frame = 0;
        min_ = no == 1 ? 4 : 1;
        max_ = no == 1 ? 8 : no == 2 ? 20 : 99;
        txtTenKey_->setText(qs(value));
        txtTenKey_->setCursorPosition(0);
        if (no == kCodeSetting && txtTenKey_->text().size() < 4)
            txtTenKey_->selectAll();
        else
            txtTenKey_->setSelection(0, 1);
        target = cmdTenKey(0);
        break;
    case 17: case 18: case 19: case 20: case 21: case 22: case 23:
        frame = 1;
        for (int i = 0; i < 4; ++i) {
            const std::string word = gfnsSettingToStr(no, std::to_string(i));
            optMode(i)->setText(qs(word));
            optMode(i)->setVisible(!word.empty());
        }
        target = selectChoice(optMode_, value, 0, 3);
        break;
    case 4: case 5: case 6:
        frame = 2;
        min_ = numberRange(no).min;
        max_ = numberRange(no).max;
        optTimes(0)->setVisible(min_ == 0);
        for (int i = 0; i < 10; ++i) {
            const bool inRange = i >= min_ && i <= max_;
            if (inRange) optTimes(i)->setVisible(true);
            optTimes(i)->setEnabled(inRange);
            optTimes(i)->setText(QString::number(i));
        }
        target = selectChoice(optTimes_, value, min_, max_);
        break;
    case 3:
        frame = 3;
        settingUp_ = true;
        sstMessage_->setActiveCell(1, static_cast<int>(runtime::val(value)));
        settingUp_ = false;
        target = sstMessage_;
        break;
    default:
        gsbErrorMsg("登録モードが不正 " + std::to_string(no) + " （lblSettingNo_Change）", false);
        setEnabled(true);
        baseTitle_ = caption();
        setCaption(saved);
        return;
    }
    for (int i = 0; i < 4; ++i) fraSet(i)->setVisible(i == frame);
    setEnabled(true);
    if (isEnabled() && target && !target->isHidden()) gsbSetFocus(target);
    baseTitle_ = caption();
    setCaption(saved);
}

// ---- Ten-key pad ----

void frmSetting::cmdTenKey_Click() {
    if (!pressed_) stepToNext();
}

void frmSetting::cmdTenKey_MouseUp(int index) {
    if (index >= 0 && index <= 9) {
        txtTenKey_->insert(QString::number(index));
    } else if (index == kTenKeyClear) {
        txtTenKey_->setText(record_.iNo == kCodeSetting ? qs(kNoCode) : QString::number(min_));
    }
    pressed_ = false;
}

void frmSetting::cmdTenKey_KeyPress(int keyAscii) {
    if (keyAscii < '0' || keyAscii > '9') return;
    const int digit = keyAscii - '0';
    gsbSetFocus(cmdTenKey(digit));
    cmdTenKey_MouseUp(digit);
}

void frmSetting::cmdTenKey_KeyUp(int keyCode) {
    if (keyCode != 46 && keyCode != 8) return;
    gsbSetFocus(cmdTenKey(kTenKeyClear));
    cmdTenKey_MouseUp(kTenKeyClear);
}

void frmSetting::txtTenKey_Change() {
    if (tenKeyGuard_) return;
    tenKeyGuard_ = true;
    const QString t = txtTenKey_->text();
    const auto put = [&](const QString& text) {
        if (txtTenKey_->text() != text) txtTenKey_->setText(text);
    };
    if (record_.iNo == kCodeSetting) {
        if (t == qs(kNoCode)) {
            txtTenKey_->setCursorPosition(0);
            txtTenKey_->selectAll();
        } else {
            int caret = txtTenKey_->cursorPosition();
            if (t.size() > max_) {
                put(t.left(max_));
                caret = max_;
                forms::beep();
            } else {
                QString digits = t;
                digits.remove('-');
                if (digits.size() < min_) {
                    put(digits.leftJustified(min_, '0'));
                    caret = 1;
                } else {
                    put(digits);
                }
            }
            txtTenKey_->setSelection(caret, 1);
        }
    } else {
        const std::string text = t.toStdString();
        const std::string c = gfnsLimitNum(text, min_, max_);
        const bool oneDigitMin = min_ < 10;
        const int maxLen = static_cast<int>(std::to_string(max_).size());
        if (c != text) {
            put(qs(c));
            forms::beep();
            if (oneDigitMin)
                txtTenKey_->setSelection(0, static_cast<int>(c.size()));
            else
                txtTenKey_->setSelection(0, 1);
        } else if (runtime::val(text) != 0) {
            const int caret = txtTenKey_->cursorPosition();
            if (caret == maxLen)
                txtTenKey_->setSelection(0, oneDigitMin ? static_cast<int>(text.size()) : maxLen - 1);
            else
                txtTenKey_->setSelection(caret, 1);
        } else {
            txtTenKey_->setSelection(0, 1);
        }
    }
    record_.sValue = txtTenKey_->text().toStdString();
    psbShowSettingValue(record_);
    tenKeyGuard_ = false;
}

// ---- Choices ----

void frmSetting::optMode_Click(int i) {
    record_.sValue = std::to_string(i);
    psbShowSettingValue(record_);
}

void frmSetting::optTimes_Click(int i) {
    record_.sValue = std::to_string(i);
    psbShowSettingValue(record_);
}

void frmSetting::optTimes_KeyPress(int& keyAscii) {
    if (keyAscii < '0' || keyAscii > '9') return;
    const int d = keyAscii - '0';
    if (!optTimes(d)->isEnabled()) return;
    gsbSetFocus(optTimes(d));
    if (optTimes(d)->value())
        optTimes_Click(d);
    else
        optTimes(d)->setValue(true);
}

void frmSetting::sstMessage_Select(int row) {
    if (row < 1) return;
    record_.sValue = std::to_string(row);
    psbShowSettingValue(record_);
}

bool frmSetting::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        for (int k = 0; k <= kTenKeyClear; ++k) {
            if (watched != cmdTenKey(k)) continue;
            if (event->type() == QEvent::KeyPress) {
                const int ascii = forms::keyAsciiOf(*key);
                if (ascii == 13) return false;
                cmdTenKey_KeyPress(ascii);
            } else {
                cmdTenKey_KeyUp(forms::keyCodeOf(*key));
            }
            return true;
        }
        for (int i = 0; i < 10; ++i) {
            if (watched != optTimes(i) || event->type() != QEvent::KeyPress) continue;
            int ascii = forms::keyAsciiOf(*key);
            if (ascii >= '0' && ascii <= '9') {
                optTimes_KeyPress(ascii);
                return true;
            }
        }
    }
    return wizard::Page::eventFilter(watched, event);
}
