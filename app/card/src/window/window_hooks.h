#pragma once
#include <string>
// The services of other windows that the card window calls, as registered.
namespace card::hooks {

// frmError.gfnfCheckDataError(iMode).
bool checkData(int iMode);
void showPatterns();
void printCardReport(int iMode, int iService);
std::string chooseFolder(const std::string& sDefault, const std::string& sNewFolder, int iIndex);

}  // namespace card::hooks
