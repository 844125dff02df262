#include "sqltext.h"

#include <cctype>
#include <cstdio>

#include "runtime/datetime.h"
#include "runtime/error.h"

namespace dao::detail {

namespace {

bool isWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// Length of the quoted run starting at s[i] (closing quote doubled to escape).
std::size_t quotedLength(std::string_view s, std::size_t i, char close) {
    std::size_t j = i + 1;
    while (j < s.size()) {
        if (s[j] == close) {
            if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                j += 2;
                continue;
            }
            return j + 1 - i;
        }
        ++j;
    }
    return s.size() - i;
}

std::size_t commentLength(std::string_view s, std::size_t i) {
    if (s.compare(i, 2, "--") == 0) {
        std::size_t end = s.find('\n', i);
        return (end == std::string_view::npos ? s.size() : end) - i;
    }
    if (s.compare(i, 2, "/*") == 0) {
        std::size_t end = s.find("*/", i + 2);
        return (end == std::string_view::npos ? s.size() : end + 2) - i;
    }
    return 0;
}

// Calls word(text) for every word and other(run) for everything else, in order.
template <typename Word, typename Other>
void scan(std::string_view s, Word word, Other other) {
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        std::size_t n = 0;
        if (c == '\'' || c == '"' || c == '`') n = quotedLength(s, i, c);
        else if (c == '[') n = quotedLength(s, i, ']');
        else if ((n = commentLength(s, i))) {
        } else if (isWordStart(c)) {
            n = 1;
            while (i + n < s.size() && isWordChar(s[i + n])) ++n;
            word(s.substr(i, n));
            i += n;
            continue;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            n = 1;
            while (i + n < s.size() && (isWordChar(s[i + n]) || s[i + n] == '.')) ++n;
        } else {
            n = 1;
        }
        other(s.substr(i, n));
        i += n;
    }
}

std::string singleQuoted(std::string_view body) {
    std::string out = "'";
    for (char c : body) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// The body of a "..." or '...' literal with its doubled quotes undone.
std::string unquote(std::string_view lit) {
    char q = lit.front();
    std::string out;
    for (std::size_t i = 1; i + 1 < lit.size(); ++i) {
        out += lit[i];
        if (lit[i] == q && i + 2 < lit.size() && lit[i + 1] == q) ++i;
    }
    return out;
}

std::string likePattern(std::string_view body) {
    std::string out;
    for (char c : body) out += c == '*' ? '%' : c == '?' ? '_' : c;
    return out;
}

std::string dateLiteral(std::string_view body) {
    // The engine writes dates month first (#3/20/2005#); a four-digit first part is a year.
    int a = 0, b = 0, c = 0;
    std::string text(body);
    if (std::sscanf(text.c_str(), "%d/%d/%d", &a, &b, &c) != 3 && std::sscanf(text.c_str(), "%d-%d-%d", &a, &b, &c) != 3)
        runtime::raise(3077);
    int y = a > 31 ? a : c, m = a > 31 ? b : a, d = a > 31 ? c : b;
    if (y < 100) y = runtime::dateSerial(y, 1, 1).year;
    if (m < 1 || m > 12 || d < 1 || d > runtime::daysInMonth(y, m)) runtime::raise(3077);
    char buf[32];
    std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d'", y, m, d);
    return buf;
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string quoteName(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string yesNoLiterals(std::string_view sql) {
    std::string out;
    scan(
        sql,
        [&](std::string_view w) {
            if (sameName(w, "True")) out += "-1";
            else if (sameName(w, "False")) out += "0";
            else out += w;
        },
        [&](std::string_view o) { out += o; });
    return out;
}

std::vector<std::string> keywords(std::string_view sql) {
    std::vector<std::string> words;
    scan(sql, [&](std::string_view w) { words.push_back(upper(w)); }, [](std::string_view) {});
    return words;
}

std::string criteriaToSqlite(std::string_view criteria) {
    std::string out;
    bool afterLike = false;
    // Dates between # marks are cut out first; the rest is scanned word by word.
    std::string text;
    for (std::size_t i = 0; i < criteria.size(); ++i) {
        if (criteria[i] == '\'' || criteria[i] == '"') {
            std::size_t n = quotedLength(criteria, i, criteria[i]);
            text += criteria.substr(i, n);
            i += n - 1;
        } else if (criteria[i] == '#') {
            std::size_t end = criteria.find('#', i + 1);
            if (end == std::string_view::npos) runtime::raise(3077);
            text += dateLiteral(criteria.substr(i + 1, end - i - 1));
            i = end;
        } else {
            text += criteria[i];
        }
    }
    scan(
        text,
        [&](std::string_view w) {
            if (sameName(w, "True")) out += "-1";
            else if (sameName(w, "False")) out += "0";
            else if (sameName(w, "Mod")) out += "%";
            else out += w;
            afterLike = sameName(w, "Like");
        },
        [&](std::string_view o) {
            char c = o.front();
            if (c == '"' || c == '\'') {
                if (o.size() < 2 || o.back() != c) runtime::raise(3077);
                std::string body = unquote(o);
                out += singleQuoted(afterLike ? likePattern(body) : body);
            } else if (c == '[') {
                out += quoteName(o.substr(1, o.size() - 2));
            } else if (c == '&') {
                out += "||";
            } else {
                out += o;
            }
            if (!std::isspace(static_cast<unsigned char>(c))) afterLike = false;
        });
    return out;
}

}  // namespace dao::detail
