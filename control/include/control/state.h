#pragma once
// Module-wide state of the control: one copy for every instance in the process. The link
// and the card geometry live with the link (link.h); the card-information cache with the
// transfers.
namespace control {

// What the control is doing (ActionMode).
enum ActionModeValue : int {
    ModeStandby = 0,
    ModeErase = 1,
    ModeWrite = 2,
    ModeRead = 3,
    ModePlay = 4,
    ModePause = 5,
    ModeFormat = 6,
    ModeRepair = 7,
    ModeReplace = 8,
    ModeEvent = 9,
};

int actionMode();
void setActionMode(int mode);

// Progress of the running operation: blocks done and blocks in all.
long progressPosition();
long progressLength();
void setProgress(long position, long length);
void setProgressLength(long length);
void setProgressPosition(long position);
void advanceProgress();

// The busy rule around one card method: a method runs only when the control stands by (0)
// or is raising an event (9). An accepted method holds `mode` until the scope ends, then
// leaves the control standing by.
class MethodScope {
public:
    explicit MethodScope(int mode);
    ~MethodScope();
    MethodScope(const MethodScope&) = delete;
    MethodScope& operator=(const MethodScope&) = delete;

    bool accepted() const { return accepted_; }
    // 700 + the mode that refused the method.
    int refusal() const;

private:
    bool accepted_ = false;
    int found_ = 0;
};

}  // namespace control
