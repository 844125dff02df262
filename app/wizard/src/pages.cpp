#include "wizard/pages.h"

#include <map>

#include <QLabel>
#include <QVBoxLayout>

namespace wizard {

namespace {

std::map<int, PageFactory>& registry() {
    static std::map<int, PageFactory> pages;
    return pages;
}

// The page of a form number no window has registered for yet.
class PlaceholderPage : public Page {
public:
    PlaceholderPage(int formNo, QWidget* parent) : Page(parent) {
        setObjectName(QString("frmForm%1").arg(formNo));
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(QString("（画面 %1）").arg(formNo), this);
        text->setAlignment(Qt::AlignCenter);
        layout->addWidget(text);
    }
};

}  // namespace

void registerPage(int formNo, PageFactory factory) {
    if (factory) {
        registry()[formNo] = std::move(factory);
    } else {
        registry().erase(formNo);
    }
}

Page* makePage(int formNo, QWidget* parent) {
    const auto it = registry().find(formNo);
    if (it != registry().end()) {
        if (Page* page = it->second(parent)) return page;
    }
    return new PlaceholderPage(formNo, parent);
}

}  // namespace wizard
