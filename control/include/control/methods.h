#pragma once
#include <string>

#include "control/message.h"
// The card methods of the control's lower half, shaped as the control's methods: each applies
// the busy rule and the action mode around its work and returns a card error number. The
// per-instance rules (the kept status, AutoRead) belong to the control's dispatch face.
namespace control {

int Format();
int Repair(int lError);
// The full card check (GetCardError and CardStatus).
int GetCardError();
// The status command alone: 0 card with a known chip, 101 no card, 104 unknown chip, or a
// link error. While another operation runs it answers 700 + its mode and leaves it alone.
int CardExists();

int ReadCardInfo();
int ReadCardData(const std::string& pszFileName);
int WriteCardData(const std::string& pszFileName);
int WriteCardFile(const std::string& pszFileName);
int ReadMessage(int iCh, const std::string& pszFileName);
int WriteMessage(int iCh, const std::string& pszFileName);
int ReplaceMessage(int iFromCh, int iToCh);
// Names arrive cut to 20 bytes of Shift-JIS and padded with zero bytes.
int WriteMsgName(int iCh, const NameField& msgName);
int WriteCardName(const NameField& cardName);

}  // namespace control
