// UcNumeric: the numeric text box with arrow buttons.
#include "core/uc_numeric.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolButton>
#include <string>

#include "core/input_filters.h"
#include "forms/controls.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "runtime/numeric.h"

namespace core::detail {

// The text box of the widget: filters keys and raises the widget's events.
class NumericTextBox : public forms::TextBox {
public:
    explicit NumericTextBox(UcNumeric* owner) : forms::TextBox(owner), owner_(owner) {}

protected:
    void keyPressEvent(QKeyEvent* e) override {
        int code = forms::keyCodeOf(*e);
        emit owner_->KeyDown(code, forms::shiftOf(e->modifiers()));
        const int ascii = forms::keyAsciiOf(*e);
        // Shortcuts (copy, paste) pass; the change handling corrects what they bring.
        if (ascii < 0 || (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
            forms::TextBox::keyPressEvent(e);
            return;
        }
        int key = gfniKeyNumeric(ascii);
        emit owner_->KeyPress(key);
        if (key == 0) {
            e->accept();
            return;
        }
        if (key == ascii) {
            forms::TextBox::keyPressEvent(e);
            return;
        }
        QKeyEvent replaced(QEvent::KeyPress, key >= '0' && key <= '9' ? Qt::Key_0 + (key - '0') : Qt::Key_unknown,
                           e->modifiers(), QString(QChar(static_cast<char16_t>(key))));
        forms::TextBox::keyPressEvent(&replaced);
    }

    void keyReleaseEvent(QKeyEvent* e) override {
        int code = forms::keyCodeOf(*e);
        emit owner_->KeyUp(code, forms::shiftOf(e->modifiers()));
        forms::TextBox::keyReleaseEvent(e);
    }

    // Characters committed by an input method pass the same filter as typed keys.
    void inputMethodEvent(QInputMethodEvent* e) override {
        QString kept;
        for (const QChar c : e->commitString()) {
            const int key = gfniKeyNumeric(c.unicode());
            if (key != 0) kept += QChar(static_cast<char16_t>(key));
        }
        e->setCommitString(kept, e->replacementStart(), e->replacementLength());
        forms::TextBox::inputMethodEvent(e);
    }

    void focusInEvent(QFocusEvent* e) override {
        forms::TextBox::focusInEvent(e);
        if (owner_->FocusSel()) gsbSelectAll(this);
    }

    void mousePressEvent(QMouseEvent* e) override {
        emit owner_->MouseDown(forms::buttonOf(e->button()), forms::shiftOf(e->modifiers()), twipsX(e), twipsY(e));
        forms::TextBox::mousePressEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        emit owner_->MouseMove(forms::buttonOf(e->buttons()), forms::shiftOf(e->modifiers()), twipsX(e), twipsY(e));
        forms::TextBox::mouseMoveEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        forms::TextBox::mouseReleaseEvent(e);
        emit owner_->MouseUp(forms::buttonOf(e->button()), forms::shiftOf(e->modifiers()), twipsX(e), twipsY(e));
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit owner_->Click();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        forms::TextBox::mouseDoubleClickEvent(e);
        emit owner_->DblClick();
    }

private:
    static double twipsX(QMouseEvent* e) { return e->position().x() * forms::twipsPerPixelX(); }
    static double twipsY(QMouseEvent* e) { return e->position().y() * forms::twipsPerPixelY(); }
    UcNumeric* owner_;
};

}  // namespace core::detail

namespace {
constexpr int kArrowWidthTwips = 255;

std::int16_t to16(long v) { return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
}  // namespace

UcNumeric::UcNumeric(QWidget* parent)
    : QWidget(parent), txt_(new core::detail::NumericTextBox(this)), up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(up_, &QToolButton::clicked, this, &UcNumeric::stepUp);
    connect(down_, &QToolButton::clicked, this, &UcNumeric::stepDown);
    connect(txt_, &forms::TextBox::change, this, &UcNumeric::onTextChange);
    setFocusProxy(txt_);
    txt_->setText(QString::number(min_));
    setFixedHeight(txt_->sizeHint().height());
    resize(std::max(width(), 3 * arrowWidth()), height());
    layoutParts();
}

QLineEdit* UcNumeric::textBox() const { return txt_; }

int UcNumeric::arrowWidth() const { return kArrowWidthTwips / forms::twipsPerPixelX(); }

void UcNumeric::onTextChange() {
    if (inChange_) return;  // the correction below changes the text again
    inChange_ = true;
    const std::string text = txt_->text().toStdString();
    const std::string s = gfnsLimitNum(text, to16(min_), to16(max_));
    if (s != text) {
        txt_->setText(QString::fromStdString(s));
        gsbSelectAll(txt_);
        if (beepOn_) forms::beep();
    }
    inChange_ = false;
    emit Change();
}

long UcNumeric::Value() const {
    try {
        return runtime::clng(runtime::val(txt_->text().toStdString()));
    } catch (const runtime::Error&) {
        return 0;
    }
}

void UcNumeric::SetValue(long value) { txt_->setText(QString::number(value)); }

void UcNumeric::stepUp() { step(1); }
void UcNumeric::stepDown() { step(-1); }

void UcNumeric::step(int delta) {
    long v = Value() + delta;
    if (v > max_) v = wrap_ ? min_ : max_;
    if (v < min_) v = wrap_ ? max_ : min_;
    SetValue(v);
}

void UcNumeric::SetEnabled(bool on) {
    enabled_ = on;
    txt_->setEnabled(on);
    up_->setEnabled(on);
    down_->setEnabled(on);
}

QFont UcNumeric::Font() const { return txt_->font(); }

void UcNumeric::SetFont(const QFont& font) {
    txt_->setFont(font);
    setFixedHeight(txt_->sizeHint().height());
    layoutParts();
}

void UcNumeric::SetBorderStyle(int style) {
    border_ = style;
    txt_->setFrame(style != 0);
}

void UcNumeric::SetBackColor(forms::Colour c) {
    back_ = c;
    applyColours();
}

void UcNumeric::SetForeColor(forms::Colour c) {
    fore_ = c;
    applyColours();
}

void UcNumeric::applyColours() {
    QPalette p = txt_->palette();
    p.setColor(QPalette::Base, forms::toQColor(back_));
    p.setColor(QPalette::Text, forms::toQColor(fore_));
    txt_->setPalette(p);
}

void UcNumeric::Refresh() { txt_->update(); }

void UcNumeric::SetFocus() {
    if (txt_->isVisible() && txt_->isEnabled()) txt_->setFocus(Qt::OtherFocusReason);
}

QString UcNumeric::ToolText() const { return txt_->toolTip(); }
void UcNumeric::SetToolText(const QString& text) { txt_->setToolTip(text); }

void UcNumeric::resizeEvent(QResizeEvent*) {
    const int a = arrowWidth();
    if (width() < 2 * a) {
        resize(2 * a, height());  // comes back here at the new width
        return;
    }
    layoutParts();
}

void UcNumeric::layoutParts() {
    const int a = arrowWidth(), w = width(), h = height();
    txt_->setGeometry(0, 0, std::max(0, w - a), h);
    up_->setGeometry(w - a, 0, a, h / 2);
    down_->setGeometry(w - a, h / 2, a, h - h / 2);
}

// The widget is declared in the public header, outside the folder the build scans for
// Qt classes; including its meta-object code here keeps it in this library.
#include "core/moc_uc_numeric.cpp"
