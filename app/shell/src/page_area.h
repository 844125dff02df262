#pragma once
// The main window's client area. Every page shown in it fills it, and it never becomes
// smaller than what its visible pages need, so that the scroll area round it scrolls
// instead of cutting controls off when the window is smaller than a page.
#include <QWidget>

namespace shell {

class PageArea : public QWidget {
public:
    explicit PageArea(QWidget* parent = nullptr);
    // What the visible pages need: the larger of their minimum size and the size their
    // layout asks for; any other visible child (the start screen) by its size.
    QSize pagesNeed() const;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();
};

}  // namespace shell
