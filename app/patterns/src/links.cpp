#include "patterns/links.h"

#include "patterns/frm_pattern.h"
#include "patterns/frm_setting.h"
#include "wizard/pages.h"

namespace patterns {

namespace {
std::function<void(int, int)>& printEntry() {
    static std::function<void(int, int)> f;
    return f;
}
std::function<void()>& scheduleReturn() {
    static std::function<void()> f;
    return f;
}
std::function<void(QWidget*)>& holidayEditor() {
    static std::function<void(QWidget*)> f;
    return f;
}
}  // namespace

void setPrintEntry(std::function<void(int, int)> entry) { printEntry() = std::move(entry); }
void setScheduleReturn(std::function<void()> show) { scheduleReturn() = std::move(show); }
void setHolidayEditor(std::function<void(QWidget*)> show) { holidayEditor() = std::move(show); }

void gsbShowPrinter(int iPrintMode, int iNo) {
    if (printEntry()) printEntry()(iPrintMode, iNo);
}
void showSchedule() {
    if (scheduleReturn()) scheduleReturn()();
}
void showHolidayEditor(QWidget* owner) {
    if (holidayEditor()) holidayEditor()(owner);
}

void registerPages() {
    wizard::registerPage(1, [](QWidget* parent) -> wizard::Page* { return new frmSetting(parent); });
    const auto editor = [](QWidget* parent) -> wizard::Page* { return new frmPattern(parent); };
    wizard::registerPage(2, editor);
    wizard::registerPage(3, editor);
}

}  // namespace patterns
