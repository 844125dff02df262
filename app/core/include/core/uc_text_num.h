#pragma once
// UcTextNum: a plain text box that keeps its text a whole number within Min..Max. Keys
// are not filtered; the change handling corrects the text after each change and raises
// Change once. Changing Min or Max leaves the text alone until it next changes.
#include <cstdint>

#include <QWidget>

namespace forms {
class TextBox;
}
class QLineEdit;

class UcTextNum : public QWidget {
    Q_OBJECT
public:
    explicit UcTextNum(QWidget* parent = nullptr);

    bool Enabled() const;
    void SetEnabled(bool on);
    QString ToolTipText() const;
    void SetToolTipText(const QString& text);
    std::int16_t Max() const { return max_; }
    void SetMax(std::int16_t v) { max_ = v; }
    std::int16_t Min() const { return min_; }
    void SetMin(std::int16_t v) { min_ = v; }
    bool BeepOn() const { return beepOn_; }
    void SetBeepOn(bool on) { beepOn_ = on; }
    bool SelFocus() const { return selFocus_; }
    void SetSelFocus(bool on) { selFocus_ = on; }
    // The number the text begins with, rounded.
    std::int16_t Value() const;
    // Writes the number as text, which runs the change handling.
    void SetValue(std::int16_t value);

    QLineEdit* textBox() const;

signals:
    void Change();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void onTextChange();

    bool selFocus_ = true;
    forms::TextBox* txt_;
    std::int16_t max_ = 10;
    std::int16_t min_ = 0;
    bool beepOn_ = true;
    bool inChange_ = false;
};
