#include "forms/controls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

#include "forms/services.h"

namespace forms {

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (t == last_) return;
        last_ = t;
        emit change();
    });
}

CheckBox::CheckBox(QWidget* parent) : QCheckBox(parent) {}
CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {}

void CheckBox::setValue(int value) {
    const auto state = value == vbChecked ? Qt::Checked : value == vbGrayed ? Qt::PartiallyChecked : Qt::Unchecked;
    if (state == checkState()) return;
    if (state == Qt::PartiallyChecked) setTristate(true);
    setCheckState(state);
    emit click();
}

int CheckBox::value() const {
    switch (checkState()) {
    case Qt::Checked: return vbChecked;
    case Qt::PartiallyChecked: return vbGrayed;
    default: return vbUnchecked;
    }
}

void CheckBox::nextCheckState() {
    // A click by the user ticks or unticks; a grey box becomes ticked.
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    emit click();
}

OptionButton::OptionButton(QWidget* parent) : QRadioButton(parent) {
    connect(this, &QRadioButton::toggled, this, [this](bool on) {
        if (on) emit click();
    });
}
OptionButton::OptionButton(const QString& caption, QWidget* parent) : OptionButton(parent) { setText(caption); }

void OptionButton::setValue(bool value) {
    if (value == isChecked()) return;
    if (!value && autoExclusive()) {
        // An exclusive button cannot be cleared alone; do it as the platform does.
        setAutoExclusive(false);
        setChecked(false);
        setAutoExclusive(true);
        return;
    }
    setChecked(value);
}

CommandButton::CommandButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, &CommandButton::click);
}
CommandButton::CommandButton(const QString& caption, QWidget* parent) : CommandButton(parent) { setText(caption); }

// A handler may close the window that owns the button; the button is then gone and must
// not be touched again.
void CommandButton::mousePressEvent(QMouseEvent* e) {
    const QPointer<CommandButton> alive(this);
    emit mouseDown(buttonOf(e->button()), shiftOf(e->modifiers()), e->position().x() * twipsPerPixelX(),
                   e->position().y() * twipsPerPixelY());
    if (alive) QPushButton::mousePressEvent(e);
}

void CommandButton::mouseReleaseEvent(QMouseEvent* e) {
    const QPointer<CommandButton> alive(this);
    QPushButton::mouseReleaseEvent(e);  // raises Click first
    if (!alive) return;
    emit mouseUp(buttonOf(e->button()), shiftOf(e->modifiers()), e->position().x() * twipsPerPixelX(),
                 e->position().y() * twipsPerPixelY());
}

int keyAsciiOf(const QKeyEvent& e) {
    if (e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter) return 13;
    if (e.key() == Qt::Key_Backspace) return 8;
    if (e.key() == Qt::Key_Escape) return 27;
    if (e.key() == Qt::Key_Tab) return -1;
    const QString t = e.text();
    if (t.isEmpty() || t.at(0).unicode() == 0x7F) return -1;
    return t.at(0).unicode();
}

int keyCodeOf(const QKeyEvent& e) {
    const int k = e.key();
    if ((k >= Qt::Key_0 && k <= Qt::Key_9) || (k >= Qt::Key_A && k <= Qt::Key_Z)) return k;
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return k & 0xFFFF;
    }
}

void sendKeyAscii(QWidget* target, int keyAscii) {
    int key = Qt::Key_unknown;
    QString text(QChar(static_cast<char16_t>(keyAscii)));
    if (keyAscii == 13) key = Qt::Key_Return;
    else if (keyAscii == 8) key = Qt::Key_Backspace;
    else if (keyAscii == 27) key = Qt::Key_Escape;
    else if (keyAscii >= '0' && keyAscii <= '9') key = Qt::Key_0 + (keyAscii - '0');
    else if (keyAscii >= 'a' && keyAscii <= 'z') key = Qt::Key_A + (keyAscii - 'a');
    else if (keyAscii >= 'A' && keyAscii <= 'Z') key = Qt::Key_A + (keyAscii - 'A');
    else if (keyAscii >= 0x20 && keyAscii < 0x7F) key = keyAscii;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

KeyPreview::KeyPreview(QWidget* window) : QObject(window), window_(window) { qApp->installEventFilter(this); }

KeyPreview::~KeyPreview() {
    if (qApp) qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (resending_ || event->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || (w != window_ && !window_->isAncestorOf(w))) return false;
    // Only the first delivery, to the widget with the focus (or the window itself).
    QWidget* focus = QApplication::focusWidget();
    if (focus ? w != focus : w != window_) return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    if (keyDown) {
        int code = keyCodeOf(*ke);
        keyDown(code, shiftOf(ke->modifiers()));
        if (code == 0) return true;
    }
    const int ascii = keyAsciiOf(*ke);
    if (!keyPress || ascii < 0) return false;
    int changed = ascii;
    keyPress(changed);
    if (changed == 0) return true;
    if (changed == ascii) return false;
    resending_ = true;
    sendKeyAscii(w, changed);
    resending_ = false;
    return true;
}

}  // namespace forms
