#pragma once
// Controls that raise their events in the order the windows rely on:
// - TextBox raises Change only when the text really changes, whether typed or set by code;
// - CheckBox and OptionButton raise Click when code sets them, not only when clicked;
//   an option button that is already selected raises nothing;
// - CommandButton raises MouseDown, then Click, then MouseUp.
// KeyPreview lets a window see and change every key before its controls do.
#include <functional>

#include <QCheckBox>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QRadioButton>

class QKeyEvent;

namespace forms {

class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

signals:
    void change();

private:
    QString last_;
};

inline constexpr int vbUnchecked = 0;
inline constexpr int vbChecked = 1;
inline constexpr int vbGrayed = 2;

class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBox(QWidget* parent = nullptr);
    explicit CheckBox(const QString& caption, QWidget* parent = nullptr);
    // Setting a different value raises Click, as a click by the user does.
    void setValue(int value);
    int value() const;

signals:
    void click();

protected:
    void nextCheckState() override;
};

class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    explicit OptionButton(QWidget* parent = nullptr);
    explicit OptionButton(const QString& caption, QWidget* parent = nullptr);
    // Selecting raises Click once; selecting the selected button raises nothing.
    void setValue(bool value);
    bool value() const { return isChecked(); }

signals:
    void click();
};

class CommandButton : public QPushButton {
    Q_OBJECT
public:
    explicit CommandButton(QWidget* parent = nullptr);
    explicit CommandButton(const QString& caption, QWidget* parent = nullptr);
    // Presses the button from code: raises Click.
    void press() { emit click(); }

signals:
    void mouseDown(int button, int shift, double x, double y);
    void click();
    void mouseUp(int button, int shift, double x, double y);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// The key of a key press as a character code (13 for Enter, 8 for backspace), or -1 when
// the key types no character.
int keyAsciiOf(const QKeyEvent& e);
// The key code of a key as the program names keys (13 Enter, 37..40 arrows, 112.. F1..).
int keyCodeOf(const QKeyEvent& e);

// A window's key preview: its handlers see every key meant for a control of the window
// first. Setting the code to 0 swallows the key; another code replaces the typed character.
class KeyPreview : public QObject {
    Q_OBJECT
public:
    explicit KeyPreview(QWidget* window);
    ~KeyPreview() override;

    std::function<void(int& keyCode, int shift)> keyDown;
    std::function<void(int& keyAscii)> keyPress;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    bool resending_ = false;
};

// Delivers a typed character to a widget, as the keyboard would.
void sendKeyAscii(QWidget* target, int keyAscii);

}  // namespace forms
