#pragma once
// A help book: a folder of HTML pages with a contents page, a map from context numbers to
// topics and a keyword index. The folder carries the name the program asks for
// ("QPN_RDX.chm"), so the book is installed beside the program like a single help file.
//
//   contents.html   the contents page; its <title> names the book
//   context.map     one "<number> <page>[#anchor]" a line; '#' starts a comment line
//   keywords.txt    one "<keyword><TAB><page>[#anchor]" a line, in the order shown
#include <QString>
#include <QUrl>

#include <map>
#include <optional>
#include <vector>

namespace help {

struct Keyword {
    QString text;
    QString target;  // a page of the book, with its anchor
};

class Book {
public:
    static constexpr const char* kContentsPage = "contents.html";
    static constexpr const char* kContextMap = "context.map";
    static constexpr const char* kKeywords = "keywords.txt";

    // The book in that folder, or nothing when the folder holds none.
    static std::optional<Book> open(const QString& folder);

    const QString& folder() const { return folder_; }
    const QString& title() const { return title_; }
    QUrl contents() const { return url(kContentsPage); }
    // The page of a context number, or nothing for a number the map does not hold.
    std::optional<QUrl> topic(long context) const;
    const std::map<long, QString>& contexts() const { return contexts_; }
    const std::vector<Keyword>& keywords() const { return keywords_; }
    // A target of the book ("page.html#anchor") as a file URL.
    QUrl url(const QString& target) const;

private:
    QString folder_;
    QString title_;
    std::map<long, QString> contexts_;
    std::vector<Keyword> keywords_;
};

}  // namespace help
