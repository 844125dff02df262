#pragma once
// The control's outward face, Card_KVM58: its members by dispatch id, the kept status and
// AutoRead rules, the two timers (mode and progress sampling, card poll) and the events.
// Free of any window system: the diagnostic widget and the about dialog are reached
// through FaceView, the standby monitor through ProcessLayer.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "com/dispatch.h"

namespace control {

// Dispatch ids of the control's members and events.
namespace dispid {
enum : com::DispId {
    Enabled = 1, UpDateInterval, CardName, AutoRead, CardSize, CardRemain, RecBoard,
    BusyCircuit, CardExists, ActionMode, Position, Length, CheckCard, CheckInterval,
    CardTime, MyVersion, MyName, DriverVersion, DriverName, CardStatus, RdxCpuVersion,
    StandbyMonitor,
    ReadCardData = 23, StopMessage, Format, ReplaceMessage, WriteCardData, ReadCardInfo,
    ReadMessage, WriteMessage, WriteMsgName, ByteToTime, PlayMessage, PauseMessage,
    WriteCardFile, Repair, WriteCardName, GetCardError,
    VersionPC = 39, VersionProgram, VersionCard, UpDateSetting, UpDateSchedule, PatternName,
    MessageTime, MessageName, ErrorMessage, PatternSet, MessageAnsRec, MsgRecTime,
    AboutBox = -552,
};
}  // namespace dispid
namespace eventid {
enum : com::DispId { StatusChange = 1, PositionChange = 2, ModeChange = 3 };
}

inline constexpr unsigned kModeTimer = 1;
inline constexpr unsigned kPollTimer = 2;
inline constexpr std::int32_t kMinInterval = 250;

// The texts of the about dialog, filled when it opens.
struct AboutTexts {
    std::string myName;
    std::string myVersion;
    std::string driverName;
    std::string driverVersion;
};

// The control's window: the diagnostic squares and counters, and the about dialog.
class FaceView {
public:
    virtual ~FaceView() = default;
    virtual void showModeTick(bool active, int shownMode, long position, long length) = 0;
    virtual void showPollTick(bool active, int keptStatus) = 0;
    virtual void showAbout(const AboutTexts& texts) = 0;
};

// Starting and ending the standby-monitor program.
class ProcessLayer {
public:
    virtual ~ProcessLayer() = default;
    // Starts the program without arguments: its process id, or nullopt.
    virtual std::optional<long> start(const std::filesystem::path& program) = 0;
    // Asks the process to close and reaps it.
    virtual void close(long pid) = 0;
};
std::unique_ptr<ProcessLayer> makeSystemProcessLayer();

// Where the control looks for its neighbours.
struct FaceEnvironment {
    std::filesystem::path programFolder;  // the host executable's folder: Drivers below it
    std::filesystem::path controlFolder;  // the control library's folder: the standby monitor
    std::shared_ptr<ProcessLayer> processes;
};
// The folders of this process and of the library holding this code, with the system's
// process layer.
FaceEnvironment defaultEnvironment();

// The card control. Several instances share the module-wide state (action mode, progress,
// card information, link, the poll's debounce).
class CardControl : public com::Control {
public:
    CardControl(FaceEnvironment environment, std::unique_ptr<FaceView> view);
    ~CardControl() override;
    CardControl(const CardControl&) = delete;
    CardControl& operator=(const CardControl&) = delete;

    com::HResult invoke(com::DispId id, com::Invoke kind, std::span<com::Variant> args,
                        com::Variant* result) noexcept override;
    com::HResult idOfName(std::string_view name, com::DispId& id) const noexcept override;
    void setSite(com::HostSite* site) noexcept override;
    void onTimer(unsigned id) noexcept override;
    void advise(com::EventSink* sink) noexcept override;
    void unadvise(com::EventSink* sink) noexcept override;

    int keptStatus() const { return kept_; }
    AboutTexts aboutTexts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int kept_ = 101;
    friend struct FaceAccess;
};

// The poll's debounce, module-wide: siMode and slBefore.
struct PollDebounce {
    int siMode = 0;
    long slBefore = 101;
};
PollDebounce& pollDebounce();

// One card poll over the debounce. `statusCommand`, `fullCheck` and `readInfo` do the card
// work; `fire` raises StatusChange with the new kept status.
struct PollWork {
    std::function<int()> statusCommand;
    std::function<int()> fullCheck;
    std::function<void()> readInfo;
    std::function<void(int)> fire;
};
void CheckCardStatus(int& kept, bool autoRead, const PollWork& work);

// "%x.%x%x" of the firmware word, "-.--" for 0.
std::string firmwareText(std::uint16_t word);
// Blanks removed, "," turned into ".".
std::string cleanVersion(std::string_view text);

struct DriverIdentity {
    std::string name;
    std::string version;
};
// The pipe driver below the program folder's "Drivers": the 64-bit build pipedrv64.so,
// named PIPEDRV64.sys, when it carries a version record, else the 32-bit pipedrv.so, named
// PIPEDRV.sys.
DriverIdentity findDriver(const std::filesystem::path& programFolder);

std::string myVersion();
std::string myName();

}  // namespace control
