// UcTextNum: the numeric text box without arrows or key filter.
#include "core/uc_text_num.h"

#include <QFocusEvent>
#include <string>

#include "core/input_filters.h"
#include "forms/controls.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "runtime/numeric.h"

namespace {
// The text box, which selects its whole text when it gets the focus and the widget asks so.
class SelectingTextBox : public forms::TextBox {
public:
    SelectingTextBox(QWidget* parent, const bool& selFocus) : forms::TextBox(parent), selFocus_(selFocus) {}

protected:
    void focusInEvent(QFocusEvent* e) override {
        forms::TextBox::focusInEvent(e);
        if (selFocus_) gsbSelectAll(this);
    }

private:
    const bool& selFocus_;
};
}  // namespace

UcTextNum::UcTextNum(QWidget* parent) : QWidget(parent), txt_(new SelectingTextBox(this, selFocus_)) {
    setFocusProxy(txt_);
    connect(txt_, &forms::TextBox::change, this, &UcTextNum::onTextChange);
    setFixedHeight(txt_->sizeHint().height());
    txt_->setGeometry(0, 0, width(), height());
}

QLineEdit* UcTextNum::textBox() const { return txt_; }

bool UcTextNum::Enabled() const { return txt_->isEnabled(); }
void UcTextNum::SetEnabled(bool on) { txt_->setEnabled(on); }
QString UcTextNum::ToolTipText() const { return txt_->toolTip(); }
void UcTextNum::SetToolTipText(const QString& text) { txt_->setToolTip(text); }

std::int16_t UcTextNum::Value() const {
    try {
        return runtime::cint(runtime::val(txt_->text().toStdString()));
    } catch (const runtime::Error&) {
        return 0;
    }
}

void UcTextNum::SetValue(std::int16_t value) { txt_->setText(QString::number(value)); }

void UcTextNum::onTextChange() {
    if (inChange_) return;
    inChange_ = true;
    const std::string text = txt_->text().toStdString();
    const std::string s = gfnsLimitNum(text, min_, max_);
    if (s != text) {
        txt_->setText(QString::fromStdString(s));
        gsbSelectAll(txt_);
        if (beepOn_) forms::beep();
    }
    inChange_ = false;
    emit Change();
}

void UcTextNum::resizeEvent(QResizeEvent*) { txt_->setGeometry(0, 0, width(), height()); }


// The widget is declared in the public header, outside the folder the build scans for
// Qt classes; including its meta-object code here keeps it in this library.
#include "core/moc_uc_text_num.cpp"
