#include "control/methods.h"

#include <cstddef>

#include "control/card.h"
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

}  // namespace control
