#pragma once
// The program's help window: the pages of a help book in a browser, with back, forward and
// contents buttons and a keyword index beside it.
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include "help/book.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTextBrowser;
class QToolButton;

namespace help {

class Window : public QWidget {
    Q_OBJECT
public:
    explicit Window(Book book, QWidget* host = nullptr);

    const Book& book() const { return book_; }

    void showContents();
    // The topic of a context number; the contents, with a note, for a number the book lacks.
    void showTopic(long context);
    // The keyword index with the keyword typed in, ready for more typing.
    void showIndex(const QString& keyword);

    // The window stays over its host and takes input while the host does: a modal dialog
    // that asked for help, else the owner. When a dialog host closes, the window goes back
    // to the owner, so it outlives the dialog.
    void setHost(QWidget* host, QWidget* owner);

    // The page shown, anchor included.
    QUrl page() const;

    QTextBrowser* browser() const { return browser_; }
    QLineEdit* keywordEdit() const { return keywordEdit_; }
    QListWidget* keywordList() const { return keywordList_; }
    QToolButton* backButton() const { return back_; }
    QToolButton* forwardButton() const { return forward_; }
    QToolButton* contentsButton() const { return contents_; }
    QLabel* note() const { return note_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void open(const QUrl& url);
    void filterKeywords(const QString& text);
    void openKeyword(const QListWidgetItem* item);
    void openCurrentKeyword();

    Book book_;
    QPointer<QWidget> host_;
    QPointer<QWidget> owner_;
    QTextBrowser* browser_ = nullptr;
    QLineEdit* keywordEdit_ = nullptr;
    QListWidget* keywordList_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    QToolButton* contents_ = nullptr;
    QLabel* note_ = nullptr;
};

}  // namespace help
