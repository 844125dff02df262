#include "help/book.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace help {
namespace {

// The lines of a UTF-8 text file, without blank lines and comment lines.
QStringList dataLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split('\n')) {
        const QString line = raw.trimmed();
        if (!line.isEmpty() && !line.startsWith('#')) lines.push_back(line);
    }
    return lines;
}

QString pageTitle(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    static const QRegularExpression title("<title>([^<]*)</title>", QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = title.match(QString::fromUtf8(file.readAll()));
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

}  // namespace

std::optional<Book> Book::open(const QString& folder) {
    const QDir dir(folder);
    if (folder.isEmpty() || !QFileInfo(dir.filePath(kContentsPage)).isReadable() ||
        !QFileInfo(dir.filePath(kContextMap)).isReadable())
        return std::nullopt;
    Book book;
    book.folder_ = dir.absolutePath();
    book.title_ = pageTitle(dir.filePath(kContentsPage));
    // A line that does not read as "<number> <page>" is left out: a wrong line in the map
    // costs that topic, never the whole help.
    static const QRegularExpression mapLine("^(-?\\d+)\\s+(\\S+)$");
    for (const QString& line : dataLines(dir.filePath(kContextMap))) {
        const QRegularExpressionMatch m = mapLine.match(line);
        if (m.hasMatch()) book.contexts_[m.captured(1).toLong()] = m.captured(2);
    }
    for (const QString& line : dataLines(dir.filePath(kKeywords))) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0) continue;
        const QString target = line.mid(tab + 1).trimmed();
        if (!target.isEmpty()) book.keywords_.push_back({line.left(tab).trimmed(), target});
    }
    return book;
}

std::optional<QUrl> Book::topic(long context) const {
    const auto it = contexts_.find(context);
    if (it == contexts_.end()) return std::nullopt;
    return url(it->second);
}

QUrl Book::url(const QString& target) const {
    const qsizetype hash = target.indexOf('#');
    QUrl u = QUrl::fromLocalFile(QDir(folder_).filePath(hash < 0 ? target : target.left(hash)));
    if (hash >= 0) u.setFragment(target.mid(hash + 1));
    return u;
}

}  // namespace help
