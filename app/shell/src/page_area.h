#pragma once
// The main window's client area. Every page shown in it fills it, and it never becomes
// smaller than what its visible pages need, so that the scroll area round it scrolls
// instead of cutting controls off when the window is smaller than a page.
#include <QScrollArea>
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

// The scroll area round the client area. It asks for the room of its page: a plain scroll
// area's wish is measured in lines of its font, and would load the fonts before the main
// window is first on screen.
class PageScroller : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override;
};

}  // namespace shell
