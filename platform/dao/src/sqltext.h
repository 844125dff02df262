#pragma once
// Small lexical work on SQL text: the yes/no words, the engine's criteria dialect, quoting.
#include <string>
#include <string_view>
#include <vector>

namespace dao::detail {

// The words True and False outside strings, quoted names and comments become -1 and 0.
std::string yesNoLiterals(std::string_view sql);

// The engine's criteria text as an SQLite expression: "..." strings become '...',
// [name] becomes "name", True/False -1/0, & joins texts (||), Mod is %, Like patterns
// use * and ? (% and _), #m/d/yyyy# dates become 'yyyy-mm-dd' texts.
std::string criteriaToSqlite(std::string_view criteria);

// The words of the statement outside strings and comments, upper-cased.
std::vector<std::string> keywords(std::string_view sql);

// "name" with embedded quotes doubled.
std::string quoteName(std::string_view name);

// ASCII case-insensitive equality.
bool sameName(std::string_view a, std::string_view b);

}  // namespace dao::detail
