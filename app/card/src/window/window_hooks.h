#pragma once
#include <string>

#include "wizard/folder_chooser.h"
// The services of other windows that the card window calls, as registered.
namespace card::hooks {

// frmError.gfnfCheckDataError(iMode).
bool checkData(int iMode);
void showPatterns();
void printCardReport(int iMode, int iService);
// The folder chooser; `length` is how its summary sizes the message files it finds.
std::string chooseFolder(const std::string& sDefault, const std::string& sNewFolder, int iIndex,
                         frmGetFolder::MessageLength length);

}  // namespace card::hooks
