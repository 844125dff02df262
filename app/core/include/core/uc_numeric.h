#pragma once
// UcNumeric: a whole number within Min..Max, typed into a text box or stepped with the
// arrow buttons beside it. Whatever is typed, pasted or stepped, the text ends as a
// number within the range, and every accepted change raises Change once, after the text
// has been corrected.
#include <QFont>
#include <QWidget>

#include "forms/colour.h"

class QLineEdit;
class QToolButton;

namespace core::detail {
class NumericTextBox;
}

class UcNumeric : public QWidget {
    Q_OBJECT
public:
    explicit UcNumeric(QWidget* parent = nullptr);

    forms::Colour BackColor() const { return back_; }
    void SetBackColor(forms::Colour c);
    forms::Colour ForeColor() const { return fore_; }
    void SetForeColor(forms::Colour c);
    bool Enabled() const { return enabled_; }
    // Enables or disables the text box and the arrows together.
    void SetEnabled(bool on);
    QFont Font() const;
    void SetFont(const QFont& font);
    int BorderStyle() const { return border_; }
    void SetBorderStyle(int style);
    void Refresh();
    bool Wrap() const { return wrap_; }
    void SetWrap(bool on) { wrap_ = on; }
    // The number the text begins with, rounded (0 when it begins with none).
    long Value() const;
    // Writes the number as text, which runs the change handling.
    void SetValue(long value);
    long Min() const { return min_; }
    void SetMin(long v) { min_ = v; }
    long Max() const { return max_; }
    void SetMax(long v) { max_ = v; }
    bool BeepOn() const { return beepOn_; }
    void SetBeepOn(bool on) { beepOn_ = on; }
    bool FocusSel() const { return focusSel_; }
    void SetFocusSel(bool on) { focusSel_ = on; }
    // Puts the focus into the text box; never fails.
    void SetFocus();
    QString ToolText() const;
    void SetToolText(const QString& text);

    // The position in a control array (unmHour(0), unmHour(1), ...).
    int Index() const { return index_; }
    void SetIndex(int index) { index_ = index; }

    // The parts, for layout and tests.
    QLineEdit* textBox() const;
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
    // The width of the arrows; the widget is never narrower than twice this.
    int arrowWidth() const;

    // The arrows: one step up or down, held at the limits or wrapping round.
    void stepUp();
    void stepDown();

signals:
    void Click();
    void DblClick();
    void KeyDown(int& keyCode, int shift);
    void KeyPress(int& keyAscii);
    void KeyUp(int& keyCode, int shift);
    void MouseDown(int button, int shift, double x, double y);
    void MouseMove(int button, int shift, double x, double y);
    void MouseUp(int button, int shift, double x, double y);
    void Change();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    friend class core::detail::NumericTextBox;
    void onTextChange();
    void step(int delta);
    void layoutParts();
    void applyColours();

    core::detail::NumericTextBox* txt_;
    QToolButton* up_;
    QToolButton* down_;
    forms::Colour back_ = forms::vbWindowBackground;
    forms::Colour fore_ = forms::vbWindowText;
    int border_ = 1;
    long min_ = 0;
    long max_ = 10;
    bool wrap_ = false;
    bool enabled_ = true;
    bool beepOn_ = true;
    bool focusSel_ = true;
    bool inChange_ = false;
    int index_ = 0;
};
