#include "control/methods.h"

#include <cstddef>

#include "control/card.h"
#include "control/card_info.h"
#include "control/errors.h"
#include "control/link.h"
#include "control/state.h"

namespace control {
namespace {

template <typename Work>
int runMethod(int mode, Work work) {
    MethodScope scope(mode);
    if (!scope.accepted()) return scope.refusal();
    return work();
}

}  // namespace

int Format() {
    return runMethod(ModeFormat, [] {
        setProgress(0, 0);
        return rdxFormat();
    });
}

int Repair(int lError) {
    return runMethod(ModeRepair, [lError] {
        setProgress(0, 0);
        return rdxRepair(lError);
    });
}

int GetCardError() {
    return runMethod(ModeRead, [] { return rdxCheckCard(); });
}

int CardExists() {
    return runMethod(ModeRead, [] {
        std::size_t blockBytes = 0;
        return rdxCardStatus(blockBytes);
    });
}

namespace {

template <typename Work>
int runTransfer(int mode, Work work) {
    return runMethod(mode, [&work] {
        setProgress(0, 0);
        return work();
    });
}

bool validChannel(int ch) { return ch >= 1 && ch <= 24; }

// A refused argument leaves the mode as it was, so the busy rule is asked first.
int busyRefusal() {
    const int mode = actionMode();
    return mode == ModeStandby || mode == ModeEvent ? 0 : cardError::Busy + mode;
}

}  // namespace

int ReadCardInfo() {
    return runTransfer(ModeRead, [] { return rdxReadCardInfo(); });
}

int ReadCardData(const std::string& pszFileName) {
    return runTransfer(ModeRead, [&] { return rdxReadCardData(pszFileName); });
}

int WriteCardData(const std::string& pszFileName) {
    return runTransfer(ModeWrite, [&] { return rdxWriteCardData(pszFileName); });
}

int WriteCardFile(const std::string& pszFileName) {
    return runTransfer(ModeWrite, [&] { return rdxWriteCardFile(pszFileName); });
}

int ReadMessage(int iCh, const std::string& pszFileName) {
    if (const int busy = busyRefusal()) return busy;
    if (!validChannel(iCh)) return cardError::BadChannel;
    return runTransfer(ModeRead, [&] { return rdxReadMessage(iCh, pszFileName); });
}

int WriteMessage(int iCh, const std::string& pszFileName) {
    if (const int busy = busyRefusal()) return busy;
    if (!validChannel(iCh)) return cardError::BadChannel;
    return runTransfer(ModeWrite, [&] { return rdxWriteMessage(iCh, pszFileName); });
}

int ReplaceMessage(int iFromCh, int iToCh) {
    if (const int busy = busyRefusal()) return busy;
    if (iFromCh < 1 || iFromCh > 9 || iToCh < 1 || iToCh > 9) return cardError::BadChannel;
    return runTransfer(ModeReplace, [&] { return rdxReplaceMessage(iFromCh, iToCh); });
}

int WriteMsgName(int iCh, const NameField& msgName) {
    if (const int busy = busyRefusal()) return busy;
    if (iCh < 1 || iCh > 12) return cardError::BadChannel;
    return runMethod(ModeWrite, [&] { return rdxWriteMsgName(iCh, msgName); });
}

int WriteCardName(const NameField& cardName) {
    return runMethod(ModeWrite, [&] { return rdxWriteCardName(cardName); });
}

}  // namespace control
