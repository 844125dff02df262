#pragma once
// crdtool: what a card image holds, and the image of a document.
#include <ostream>
#include <string>

namespace crdtool {

// Prints the image as readable text. False when the file cannot be read.
bool dump(const std::string& file, std::ostream& out, std::ostream& err);

// Builds the image of a new document (doc empty) or of a kvp document, for the date
// `today` (YYYY-MM-DD), with every part selected.
bool build(const std::string& doc, const std::string& today, const std::string& out, std::ostream& err);

}  // namespace crdtool
