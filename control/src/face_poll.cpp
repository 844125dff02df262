// The card poll: a change of the card's status is reported once two readings agree.
#include "control/face.h"

namespace control {

PollDebounce& pollDebounce() {
    static PollDebounce debounce;
    return debounce;
}

void CheckCardStatus(int& kept, bool autoRead, const PollWork& work) {
    PollDebounce& d = pollDebounce();
    int e = work.statusCommand();
    if (d.siMode == 0) {
        if (e == kept) return;
        if (autoRead) e = work.fullCheck();
        if (e == d.slBefore) {
            d.slBefore = kept;
        } else {
            d.slBefore = e;
            d.siMode = 1;
        }
        return;
    }
    if (autoRead) e = work.fullCheck();
    if (e == kept) {
        d.slBefore = e;
        d.siMode = 0;
    } else if (e == d.slBefore) {
        kept = e;
        if (autoRead) work.readInfo();
        d.siMode = 0;
        work.fire(kept);
    } else {
        d.slBefore = e;
    }
}

}  // namespace control
