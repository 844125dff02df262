#pragma once
// The pages of the wizard. Each window that a wizard step shows (settings, day patterns,
// calendar, card pages) registers a factory under its form numbers; the step dispatcher
// makes the page, hands it its form number and menu, and tells it when it is left.
#include <functional>
#include <string>

#include <QWidget>

namespace wizard {

class Page : public QWidget {
    Q_OBJECT
public:
    explicit Page(QWidget* parent = nullptr) : QWidget(parent) {}
    // Opens the page for the step. The pattern page opens weekday patterns for form
    // number 2 and the holiday pattern for 3; the card window its page of the number.
    virtual void msbShowForm(int formNo, int menuNo) {
        (void)formNo;
        (void)menuNo;
    }
    // The step is being left: the settings page saves its grid, the card window stops its
    // job and disables its control.
    virtual void leavePage() {}
    // A step change was cancelled while this page stays: the card window enables its
    // control again.
    virtual void resumePage() {}
    // The page is closed: it ends its work now (saves, closes the document, stops its
    // control), before the next page opens. The widget itself is freed later, since the
    // close may come from one of its own controls' events. Runs once; a page's destructor
    // calls it when nothing did.
    virtual void unloadPage() {}
};

using PageFactory = std::function<Page*(QWidget* parent)>;

// Registers the factory of a form number; the page's objectName is its window name
// ("frmSetting", "frmPattern", "frmSchedule", "frmCard"). An empty factory removes it.
void registerPage(int formNo, PageFactory factory);
// The factory of a form number; a plain placeholder page for an unregistered one.
Page* makePage(int formNo, QWidget* parent);

}  // namespace wizard
