#include "runtime/error.h"

#include <utility>

namespace runtime {

namespace {

// The language run time's texts.
const char* basicText(long number) {
    switch (number) {
    case 3: return "Return without GoSub";
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 28: return "Out of stack space";
    case 48: return "Error in loading DLL";
    case 51: return "Internal error";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 67: return "Too many files";
    case 68: return "Device unavailable";
    case 70: return "Permission denied";
    case 71: return "Disk not ready";
    case 74: return "Can't rename with different drive";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 93: return "Invalid pattern string";
    case 94: return "Invalid use of Null";
    case 380: return "Invalid property value";
    case 424: return "Object required";
    case 429: return "ActiveX component can't create object";
    case 438: return "Object doesn't support this property or method";
    case 482: return "Printer error";
    case 483: return "Printer driver does not support specified property";
    case 484: return "Problem getting printer information from the system. Make sure the printer is set up correctly";
    case 32755: return "Cancel was selected.";
    default: return nullptr;
    }
}

// The database engine's texts; '|' stands for the file, table or item named.
const char* engineText(long number) {
    switch (number) {
    case 3000: return "Reserved error (|); there is no message for this error.";
    case 3001: return "Invalid argument.";
    case 3010: return "Table '|' already exists.";
    case 3020: return "Update or CancelUpdate without AddNew or Edit.";
    case 3021: return "No current record.";
    case 3022: return "The changes you requested to the table were not successful because they would "
                      "create duplicate values in the index, primary key, or relationship.";
    case 3024: return "Couldn't find file '|'.";
    case 3027: return "Can't update. Database or object is read-only.";
    case 3031: return "Not a valid password.";
    case 3034: return "You tried to commit or rollback a transaction without first beginning a transaction.";
    case 3043: return "Disk or network error.";
    case 3044: return "'|' isn't a valid path.";
    case 3045: return "Couldn't use '|'; file already in use.";
    case 3049: return "Can't open database '|'. It may not be a database that your application "
                      "recognizes, or the file may be corrupt.";
    case 3051: return "The Microsoft Jet database engine cannot open the file '|'. It is already "
                      "opened exclusively by another user, or you need permission to view its data.";
    case 3061: return "Too few parameters. Expected |.";
    case 3065: return "Cannot execute a select query.";
    case 3075: return "Syntax error (missing operator) in query expression '|'.";
    case 3070: return "The Microsoft Jet database engine does not recognize '|' as a valid field name or expression.";
    case 3077: return "Syntax error (missing operator) in expression.";
    case 3078: return "The Microsoft Jet database engine cannot find the input table or query '|'. "
                      "Make sure it exists and that its name is spelled correctly.";
    case 3142: return "Characters found after end of SQL statement.";
    case 3167: return "Record is deleted.";
    case 3204: return "Database already exists.";
    case 3219: return "Invalid operation.";
    case 3218: return "Could not update; currently locked.";
    case 3265: return "Item not found in this collection.";
    case 3314: return "The field '|' can't contain a Null value because the Required property for "
                      "this field is set to True.";
    case 3343: return "Unrecognized database format '|'.";
    case 3371: return "Can't find table or constraint.";
    case 3376: return "Table '|' doesn't exist.";
    case 3420: return "Object invalid or no longer set.";
    case 3464: return "Data type mismatch in criteria expression.";
    case 31037: return "Error loading the database '|'.";
    default: return nullptr;
    }
}

}  // namespace

Error::Error(long number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

std::string errorDescription(long number, std::string_view item) {
    const char* text = basicText(number);
    if (!text) text = engineText(number);
    if (!text) return {};
    std::string s(text);
    if (auto bar = s.find('|'); bar != std::string::npos) s.replace(bar, 1, item);
    return s;
}

std::string errorDescription(long number) { return errorDescription(number, {}); }

void raise(long number) { throw Error(number, errorDescription(number)); }
void raise(long number, std::string description) { throw Error(number, std::move(description)); }
void raiseWith(long number, std::string_view item) { throw Error(number, errorDescription(number, item)); }

}  // namespace runtime
