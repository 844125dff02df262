#include "help/window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace help {
namespace {

QToolButton* toolButton(const char* text, const char* name, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(QString::fromUtf8(text));
    b->setObjectName(name);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

}  // namespace

Window::Window(Book book, QWidget* host) : QWidget(host, Qt::Window), book_(std::move(book)) {
    setObjectName("helpWindow");
    setWindowTitle(book_.title().isEmpty() ? QString::fromUtf8("ヘルプ") : book_.title());
    // The program ends when its main window closes, whatever help is still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(860, 620);

    back_ = toolButton("戻る", "helpBack", this);
    forward_ = toolButton("進む", "helpForward", this);
    contents_ = toolButton("目次", "helpContents", this);
    back_->setEnabled(false);
    forward_->setEnabled(false);
    auto* tools = new QHBoxLayout;
    for (QToolButton* b : {back_, forward_, contents_}) tools->addWidget(b);
    tools->addStretch();

    auto* index = new QWidget(this);
    auto* indexLayout = new QVBoxLayout(index);
    indexLayout->setContentsMargins(0, 0, 0, 0);
    indexLayout->addWidget(new QLabel(QString::fromUtf8("キーワード"), index));
    keywordEdit_ = new QLineEdit(index);
    keywordEdit_->setObjectName("helpKeyword");
    keywordEdit_->setPlaceholderText(QString::fromUtf8("調べる言葉を入力"));
    keywordEdit_->setClearButtonEnabled(true);
    indexLayout->addWidget(keywordEdit_);
    keywordList_ = new QListWidget(index);
    keywordList_->setObjectName("helpKeywords");
    for (const Keyword& k : book_.keywords()) {
        auto* item = new QListWidgetItem(k.text, keywordList_);
        item->setData(Qt::UserRole, k.target);
    }
    indexLayout->addWidget(keywordList_);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName("helpBrowser");
    browser_->setOpenExternalLinks(true);

    auto* split = new QSplitter(this);
    split->addWidget(index);
    split->addWidget(browser_);
    split->setStretchFactor(1, 1);
    split->setSizes({220, 640});

    note_ = new QLabel(QString::fromUtf8("この画面のヘルプはありません。目次から項目を選んでください。"), this);
    note_->setObjectName("helpNote");
    note_->hide();

    auto* root = new QVBoxLayout(this);
    root->addLayout(tools);
    root->addWidget(split, 1);
    root->addWidget(note_);

    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(contents_, &QToolButton::clicked, this, [this] { showContents(); });
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, note_, &QLabel::hide);
    connect(keywordEdit_, &QLineEdit::textChanged, this, [this](const QString& t) { filterKeywords(t); });
    connect(keywordEdit_, &QLineEdit::returnPressed, this, [this] { openCurrentKeyword(); });
    connect(keywordList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* i) { openKeyword(i); });
    connect(keywordList_, &QListWidget::itemActivated, this, [this](QListWidgetItem* i) { openKeyword(i); });
}

QUrl Window::page() const { return browser_->source(); }

void Window::open(const QUrl& url) { browser_->setSource(url); }

void Window::showContents() { open(book_.contents()); }

void Window::showTopic(long context) {
    if (const std::optional<QUrl> url = book_.topic(context)) {
        open(*url);
        return;
    }
    showContents();
    note_->show();
}

void Window::showIndex(const QString& keyword) {
    if (browser_->source().isEmpty()) showContents();
    keywordEdit_->setText(keyword);
    filterKeywords(keyword);
    keywordEdit_->setFocus();
}

// Every keyword that holds the typed text stays listed; the first of them is chosen, so
// Enter opens it.
void Window::filterKeywords(const QString& text) {
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < keywordList_->count(); ++i) {
        QListWidgetItem* item = keywordList_->item(i);
        const bool shown = item->text().contains(text.trimmed(), Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && !first) first = item;
    }
    keywordList_->setCurrentItem(first);
}

void Window::openKeyword(const QListWidgetItem* item) {
    if (item) open(book_.url(item->data(Qt::UserRole).toString()));
}

void Window::openCurrentKeyword() {
    const QListWidgetItem* item = keywordList_->currentItem();
    if (item && !item->isHidden()) openKeyword(item);
}

void Window::setHost(QWidget* host, QWidget* owner) {
    owner_ = owner;
    if (host_ != host && host_ && host_ != owner_) host_->removeEventFilter(this);
    if (parentWidget() != host) {
        // A new parent hides the window and forgets its place; the user keeps both.
        const bool shown = isVisible();
        const QRect frame = geometry();
        setParent(host, Qt::Window);
        if (shown) {
            setGeometry(frame);
            show();
        }
    }
    host_ = host;
    if (host_ && host_ != owner_) host_->installEventFilter(this);
}

bool Window::eventFilter(QObject* watched, QEvent* event) {
    // A dialog host that closes may take its children with it.
    if (watched == host_ && host_ != owner_ && event->type() == QEvent::Hide) setHost(owner_, owner_);
    return QWidget::eventFilter(watched, event);
}

}  // namespace help
