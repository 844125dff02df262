// Card_KVM58: members by dispatch id, the kept-status rules and the two timers.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>

#include "control/card.h"
#include "control/card_info.h"
#include "control/errors.h"
#include "control/face.h"
#include "control/host.h"
#include "control/link.h"
#include "control/methods.h"
#include "control/playback.h"
#include "control/state.h"
#include "text/text.h"

namespace control {
namespace {

using com::HResult;
using com::Variant;

struct NameEntry {
    const char* name;
    com::DispId id;
};
constexpr NameEntry kNames[] = {
    {"Enabled", dispid::Enabled}, {"UpDateInterval", dispid::UpDateInterval},
    {"CardName", dispid::CardName}, {"AutoRead", dispid::AutoRead}, {"CardSize", dispid::CardSize},
    {"CardRemain", dispid::CardRemain}, {"RecBoard", dispid::RecBoard},
    {"BusyCircuit", dispid::BusyCircuit}, {"CardExists", dispid::CardExists},
    {"ActionMode", dispid::ActionMode}, {"Position", dispid::Position}, {"Length", dispid::Length},
    {"CheckCard", dispid::CheckCard}, {"CheckInterval", dispid::CheckInterval},
    {"CardTime", dispid::CardTime}, {"MyVersion", dispid::MyVersion}, {"MyName", dispid::MyName},
    {"DriverVersion", dispid::DriverVersion}, {"DriverName", dispid::DriverName},
    {"CardStatus", dispid::CardStatus}, {"RdxCpuVersion", dispid::RdxCpuVersion},
    {"StandbyMonitor", dispid::StandbyMonitor}, {"ReadCardData", dispid::ReadCardData},
    {"StopMessage", dispid::StopMessage}, {"Format", dispid::Format},
    {"ReplaceMessage", dispid::ReplaceMessage}, {"WriteCardData", dispid::WriteCardData},
    {"ReadCardInfo", dispid::ReadCardInfo}, {"ReadMessage", dispid::ReadMessage},
    {"WriteMessage", dispid::WriteMessage}, {"WriteMsgName", dispid::WriteMsgName},
    {"ByteToTime", dispid::ByteToTime}, {"PlayMessage", dispid::PlayMessage},
    {"PauseMessage", dispid::PauseMessage}, {"WriteCardFile", dispid::WriteCardFile},
    {"Repair", dispid::Repair}, {"WriteCardName", dispid::WriteCardName},
    {"GetCardError", dispid::GetCardError}, {"VersionPC", dispid::VersionPC},
    {"VersionProgram", dispid::VersionProgram}, {"VersionCard", dispid::VersionCard},
    {"UpDateSetting", dispid::UpDateSetting}, {"UpDateSchedule", dispid::UpDateSchedule},
    {"PatternName", dispid::PatternName}, {"MessageTime", dispid::MessageTime},
    {"MessageName", dispid::MessageName}, {"ErrorMessage", dispid::ErrorMessage},
    {"PatternSet", dispid::PatternSet}, {"MessageAnsRec", dispid::MessageAnsRec},
    {"MsgRecTime", dispid::MsgRecTime}, {"AboutBox", dispid::AboutBox},
};

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool idle(int mode) { return mode == ModeStandby || mode == ModeEvent; }
// A playback streams on its own thread: the link is free between its block reads.
bool playing(int mode) { return mode == ModePlay || mode == ModePause; }
int busyRefusal() {
    const int mode = actionMode();
    return idle(mode) ? 0 : cardError::Busy + mode;
}
bool isBusyNumber(int r) { return r >= cardError::Busy && r <= cardError::Busy + ModeEvent; }

// A name as the card keeps it: Shift-JIS, at most 20 bytes without a split character.
NameField nameField(const std::string& utf8) {
    NameField field{};
    const std::string bytes = text::toCp932(text::leftB(utf8, static_cast<int>(kNameBytes)));
    std::memcpy(field.data(), bytes.data(), std::min(bytes.size(), field.size()));
    return field;
}

long dateField(const CardDate& d, int index) {
    if (index == 0) return d.month != 0 ? 2000 + d.year : 0;
    return index == 1 ? d.month : d.day;
}

// One poll at a time in the process: a tick pumped inside a StatusChange handler must not
// start a second one.
std::atomic<bool> pollRunning{false};

// The sites of the instances, latest last. Transfers pump the container's messages through
// the latest, so that its windows stay alive; when that instance goes (the about box
// closes), through the one sited before it.
std::mutex sitesMutex;
std::vector<std::pair<const void*, com::HostSite*>> sites;

void siteInstance(const void* instance, com::HostSite* site) noexcept {
    try {
        std::lock_guard g(sitesMutex);
        std::erase_if(sites, [instance](const auto& entry) { return entry.first == instance; });
        if (site) sites.emplace_back(instance, site);
        com::HostSite* pump = sites.empty() ? nullptr : sites.back().second;
        setHostPump(pump ? std::function<void()>([pump] { pump->pumpMessages(); }) : std::function<void()>());
    } catch (...) {
    }
}

// Instances alive in the process: the last one to go ends a playback.
std::atomic<int> instances{0};

}  // namespace

struct CardControl::Impl {
    Impl(CardControl& owner, FaceEnvironment e, std::unique_ptr<FaceView> v)
        : self(owner), env(std::move(e)), view(std::move(v)) {}

    CardControl& self;
    FaceEnvironment env;
    std::unique_ptr<FaceView> view;
    com::HostSite* site = nullptr;
    std::vector<com::EventSink*> sinks;

    bool enabled = true;
    std::int32_t updateInterval = 250;
    bool autoRead = true;
    bool checkCard = false;
    std::int32_t checkInterval = 1000;
    int shownMode = 0;
    bool standbyMonitor = false;
    std::vector<long> monitors;  // processes this instance started
    bool inModeTick = false;
    // Cleared when the instance goes: a handler pumped inside PlayMessage may destroy it.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    // Arguments.
    static HResult count(std::span<Variant> args, std::size_t n) {
        return args.size() == n ? com::Ok : com::BadParamCount;
    }
    static HResult i4(std::span<Variant> args, std::size_t i, std::int32_t& out) { return args[i].toI4(out); }
    static HResult str(std::span<Variant> args, std::size_t i, std::string& out) { return args[i].toBStr(out); }

    void fire(com::DispId id, std::vector<Variant> args) {
        const auto listeners = sinks;
        for (auto* sink : listeners) sink->onEvent(id, args);
    }

    // The kept-status rules.
    void autoReadMark() {
        if (autoRead) self.kept_ = cardError::NoCard;
    }
    void keepWhenAutoRead(int r) {
        if (autoRead) self.kept_ = r;
    }
    void keepPlaybackResult(int r) {
        if (autoRead && !isBusyNumber(r) && (r == 0 || r >= 100)) self.kept_ = r;
    }

    // Timers.
    void startTimer(unsigned id, std::int32_t interval) {
        if (site) site->setTimer(id, static_cast<unsigned>(interval));
    }
    void stopTimer(unsigned id) {
        if (site) site->killTimer(id);
    }
    void applyEnabled() {
        if (enabled) {
            shownMode = 0;
            startTimer(kModeTimer, updateInterval);
            applyCheckCard();
        } else {
            stopTimer(kModeTimer);
            stopTimer(kPollTimer);
        }
    }
    void applyCheckCard() {
        if (enabled && checkCard) {
            if (autoRead) self.kept_ = cardError::NoCard;
            startTimer(kPollTimer, checkInterval);
        } else {
            stopTimer(kPollTimer);
        }
    }

    void modeTick() {
        if (view) view->showModeTick(true, shownMode, progressPosition(), progressLength());
        const int mode = actionMode();
        if (mode != shownMode) {
            if (mode == ModeStandby) setProgress(0, 0);
            shownMode = mode;
            fire(eventid::ModeChange, {Variant::i4(mode)});
        } else if (mode == ModeStandby) {
            setProgress(0, 0);
        } else if (mode == ModePlay || mode == ModePause) {
            const long total = playbackLength();
            if (total != 0) {
                setProgress(playbackPosition(), total);
                firePosition();
            }
        } else if (progressLength() != 0) {
            firePosition();
        }
        if (view) view->showModeTick(false, shownMode, progressPosition(), progressLength());
    }
    void firePosition() {
        fire(eventid::PositionChange, {Variant::i4(static_cast<std::int32_t>(progressPosition())),
                                       Variant::i4(static_cast<std::int32_t>(progressLength()))});
    }

    void pollTick() {
        bool expected = false;
        if (actionMode() == ModeStandby && pollRunning.compare_exchange_strong(expected, true)) {
            if (view) view->showPollTick(true, self.kept_);
            setActionMode(ModeRead);
            poll();
            setActionMode(ModeStandby);
            pollRunning = false;
        }
        if (view) view->showPollTick(false, self.kept_);
    }
    void poll() {
        LinkSession session;
        PollWork work;
        work.statusCommand = [] {
            std::size_t blockBytes = 0;
            return rdxCardStatus(blockBytes);
        };
        work.fullCheck = [] { return rdxCheckCard(); };
        work.readInfo = [] { rdxReadCardInfo(); };
        work.fire = [this](int status) {
            setActionMode(ModeEvent);
            fire(eventid::StatusChange, {Variant::i4(status)});
            setActionMode(ModeRead);
        };
        CheckCardStatus(self.kept_, autoRead, work);
    }

    // Mode 3 around a status command, then standby; during a playback its mode stays, since
    // standby would end PlayMessage's wait.
    class ModeAround {
    public:
        ModeAround(int found, int during) : set_(idle(found)) {
            if (set_) setActionMode(during);
        }
        ~ModeAround() {
            if (set_) setActionMode(ModeStandby);
        }
        ModeAround(const ModeAround&) = delete;
        ModeAround& operator=(const ModeAround&) = delete;

    private:
        bool set_;
    };

    // Members that reach the link outside the busy rule. A playback's worker shares the link
    // through its mutex: they wait for it, and leave the playback's mode alone. While an
    // operation of this thread holds the link (a pumped message inside a transfer) they
    // answer from what is known instead of disturbing it.
    int cardExists() {
        const int mode = actionMode();
        if (!idle(mode) && !playing(mode)) return self.kept_;
        int r = cardError::Done;
        {
            LinkSession session;
            ModeAround around(mode, ModeRead);
            std::size_t blockBytes = 0;
            r = rdxCardStatus(blockBytes);
        }
        self.kept_ = r;
        return r;
    }
    std::string rdxCpuVersion() {
        const int mode = actionMode();
        if (!idle(mode) && !playing(mode)) return firmwareText(rdxFirmwareWord());
        LinkSession session;
        if (idle(mode)) rdxCloseLink();  // the reader is found afresh
        ModeAround around(mode, ModeRead);
        std::size_t blockBytes = 0;
        const int r = rdxCardStatus(blockBytes);
        const bool answered = r == cardError::Done || r == cardError::NoCard || r == cardError::Unrecognised;
        return firmwareText(answered ? rdxFirmwareWord() : 0);
    }
    std::int32_t byteToTime(std::int32_t bytes) {
        if (bytes <= 0) return -1;
        std::size_t blockBytes = 0;
        const int mode = actionMode();
        if (idle(mode) || playing(mode)) {
            LinkSession session;
            if (rdxCardStatus(blockBytes) != cardError::Done) blockBytes = 0;
        } else if (rdxGeometry().chipClass != 0) {
            blockBytes = rdxGeometry().blockBytes();
        }
        if (blockBytes == 0) return -1;
        const auto b = static_cast<std::int64_t>(blockBytes);
        return static_cast<std::int32_t>((bytes + b - 1) / b * b / 8);
    }

    void setStandbyMonitor(bool wanted) {
        if (wanted == standbyMonitor) return;
        standbyMonitor = wanted;
        if (wanted) startMonitor();
        else closeMonitors();
    }
    void startMonitor() {
        const auto program = env.controlFolder / "WaitWtch";
        std::error_code ec;
        if (!env.processes || !std::filesystem::exists(program, ec)) return;
        if (auto pid = env.processes->start(program)) monitors.push_back(*pid);
    }
    void closeMonitors() {
        if (env.processes)
            for (long pid : monitors) env.processes->close(pid);
        monitors.clear();
    }

    HResult get(com::DispId id, Variant& out);
    HResult put(com::DispId id, std::span<Variant> args);
    HResult method(com::DispId id, std::span<Variant> args, Variant& out);
    HResult indexed(com::DispId id, std::span<Variant> args, Variant& out);
};

HResult CardControl::Impl::get(com::DispId id, Variant& out) {
    const auto cache = [] { return cardInfo(); };
    switch (id) {
    case dispid::Enabled: out = Variant::boolean(enabled); break;
    case dispid::UpDateInterval: out = Variant::i4(updateInterval); break;
    case dispid::CardName: out = Variant::bstr(text::fromCp932(cache().cardName)); break;
    case dispid::AutoRead: out = Variant::boolean(autoRead); break;
    case dispid::CardSize: out = Variant::i4(static_cast<std::int32_t>(cache().cardSize)); break;
    case dispid::CardRemain: out = Variant::i4(static_cast<std::int32_t>(cache().cardRemain)); break;
    case dispid::RecBoard: out = Variant::boolean(cache().recBoard); break;
    case dispid::BusyCircuit: out = Variant::boolean(cache().busyCircuit); break;
    case dispid::CardExists: out = Variant::i4(cardExists()); break;
    case dispid::ActionMode: out = Variant::i4(actionMode()); break;
    case dispid::Position: out = Variant::i4(static_cast<std::int32_t>(progressPosition())); break;
    case dispid::Length: out = Variant::i4(static_cast<std::int32_t>(progressLength())); break;
    case dispid::CheckCard: out = Variant::boolean(checkCard); break;
    case dispid::CheckInterval: out = Variant::i4(checkInterval); break;
    case dispid::CardTime: out = Variant::i4(static_cast<std::int32_t>(cache().cardTime)); break;
    case dispid::MyVersion: out = Variant::bstr(myVersion()); break;
    case dispid::MyName: out = Variant::bstr(myName()); break;
    case dispid::DriverVersion: out = Variant::bstr(findDriver(env.programFolder).version); break;
    case dispid::DriverName: out = Variant::bstr(findDriver(env.programFolder).name); break;
    case dispid::CardStatus: {
        const int r = GetCardError();
        if (!isBusyNumber(r)) keepWhenAutoRead(r);
        out = Variant::i4(r);
        break;
    }
    case dispid::RdxCpuVersion: out = Variant::bstr(rdxCpuVersion()); break;
    case dispid::StandbyMonitor: out = Variant::boolean(standbyMonitor); break;
    default: return com::MemberNotFound;
    }
    return com::Ok;
}

HResult CardControl::Impl::put(com::DispId id, std::span<Variant> args) {
    if (args.size() != 1) return com::BadParamCount;
    bool flag = false;
    std::int32_t value = 0;
    switch (id) {
    case dispid::Enabled:
    case dispid::AutoRead:
    case dispid::CheckCard:
    case dispid::StandbyMonitor:
        if (const HResult h = args[0].toBool(flag); !com::succeeded(h)) return h;
        break;
    case dispid::UpDateInterval:
    case dispid::CheckInterval:
        if (const HResult h = args[0].toI4(value); !com::succeeded(h)) return h;
        value = std::max(value, kMinInterval);
        break;
    default: return com::MemberNotFound;
    }
    switch (id) {
    case dispid::Enabled: enabled = flag; applyEnabled(); break;
    case dispid::AutoRead: autoRead = flag; break;
    case dispid::CheckCard: checkCard = flag; applyCheckCard(); break;
    case dispid::StandbyMonitor: setStandbyMonitor(flag); break;
    case dispid::UpDateInterval:
        if (value == updateInterval) break;
        updateInterval = value;
        if (enabled) {
            shownMode = 0;
            startTimer(kModeTimer, updateInterval);
        }
        break;
    case dispid::CheckInterval:
        if (value == checkInterval) break;
        checkInterval = value;
        if (enabled && checkCard) applyCheckCard();
        break;
    }
    return com::Ok;
}

HResult CardControl::Impl::method(com::DispId id, std::span<Variant> args, Variant& out) {
    std::string s;
    std::int32_t a = 0, b = 0;
    int r = 0;
    HResult h = com::Ok;
    const auto need = [&](std::size_t n) { return count(args, n); };
    switch (id) {
    case dispid::Format:
    case dispid::ReadCardInfo:
    case dispid::GetCardError:
    case dispid::StopMessage:
    case dispid::PauseMessage:
        h = need(0);
        break;
    case dispid::ReadCardData:
    case dispid::WriteCardData:
    case dispid::WriteCardFile:
    case dispid::WriteCardName:
        if (com::succeeded(h = need(1))) h = str(args, 0, s);
        break;
    case dispid::Repair:
    case dispid::ByteToTime:
        if (com::succeeded(h = need(1))) h = i4(args, 0, a);
        break;
    case dispid::ReplaceMessage:
    case dispid::PlayMessage:
        if (com::succeeded(h = need(2)) && com::succeeded(h = i4(args, 0, a))) h = i4(args, 1, b);
        break;
    case dispid::ReadMessage:
    case dispid::WriteMessage:
    case dispid::WriteMsgName:
        if (com::succeeded(h = need(2)) && com::succeeded(h = i4(args, 0, a))) h = str(args, 1, s);
        break;
    default: return com::MemberNotFound;
    }
    if (!com::succeeded(h)) return h;

    // A refusal (busy or a bad channel) leaves every state as it was.
    const auto refusedChannel = [&](int lo, int hi) { return a < lo || a > hi; };
    switch (id) {
    case dispid::ReadCardData:
    case dispid::WriteCardData:
    case dispid::WriteCardFile:
    case dispid::Format:
    case dispid::Repair:
    case dispid::WriteCardName:
        if ((r = busyRefusal())) break;
        r = id == dispid::ReadCardData    ? ReadCardData(s)
            : id == dispid::WriteCardData ? WriteCardData(s)
            : id == dispid::WriteCardFile ? WriteCardFile(s)
            : id == dispid::Format        ? Format()
            : id == dispid::Repair        ? Repair(a)
                                          : WriteCardName(nameField(s));
        if (!isBusyNumber(r)) autoReadMark();
        break;
    case dispid::ReplaceMessage:
        if ((r = busyRefusal())) break;
        if (refusedChannel(1, 9) || b < 1 || b > 9) { r = cardError::BadChannel; break; }
        r = ReplaceMessage(a, b);
        if (!isBusyNumber(r)) autoReadMark();
        break;
    case dispid::ReadMessage:
    case dispid::WriteMessage:
        if ((r = busyRefusal())) break;
        if (refusedChannel(1, kChannels)) { r = cardError::BadChannel; break; }
        if (id == dispid::ReadMessage) {
            r = ReadMessage(a, s);
            if (!isBusyNumber(r)) keepWhenAutoRead(r);
        } else {
            r = WriteMessage(a, s);
            if (!isBusyNumber(r)) autoReadMark();
        }
        break;
    case dispid::WriteMsgName:
        if ((r = busyRefusal())) break;
        // Only the twelve message names lie in the names block.
        if (refusedChannel(1, 12)) { r = cardError::BadChannel; break; }
        r = WriteMsgName(a, nameField(s));
        if (!isBusyNumber(r)) autoReadMark();
        break;
    case dispid::ReadCardInfo:
        r = ReadCardInfo();
        if (!isBusyNumber(r)) self.kept_ = r;
        break;
    case dispid::GetCardError:
        r = GetCardError();
        if (!isBusyNumber(r)) keepWhenAutoRead(r);
        break;
    case dispid::ByteToTime: r = byteToTime(a); break;
    case dispid::StopMessage:
    case dispid::PauseMessage:
    case dispid::PlayMessage: {
        const int before = actionMode();
        // PlayMessage pumps the container's messages until the playback ends: a handler may
        // destroy this instance meanwhile.
        const std::shared_ptr<bool> stillAlive = alive;
        r = id == dispid::StopMessage    ? StopMessage()
            : id == dispid::PauseMessage ? PauseMessage()
                                         : PlayMessage(a, b);
        if (!*stillAlive) break;
        const bool refused = id == dispid::PlayMessage
                                 ? r == cardError::BadChannel || !idle(before)
                                 : !idle(before) && !playing(before);
        if (!refused) keepPlaybackResult(r);
        break;
    }
    }
    out = Variant::i4(r);
    return com::Ok;
}

HResult CardControl::Impl::indexed(com::DispId id, std::span<Variant> args, Variant& out) {
    if (args.size() != 1) return com::BadParamCount;
    std::int32_t i = 0;
    if (const HResult h = args[0].toI4(i); !com::succeeded(h)) return h;
    if (id == dispid::ErrorMessage) {
        std::string message(cardErrorText(i));
        if (message.empty() && i < 100) message = wavErrorText(i);
        out = Variant::bstr(std::move(message));
        return com::Ok;
    }
    const CardInfo c = cardInfo();
    const auto in = [i](int lo, int hi) { return i >= lo && i <= hi; };
    const auto i2 = [&out](long v) { out = Variant::i2(static_cast<std::int16_t>(v)); };
    switch (id) {
    case dispid::VersionPC: i2(in(0, 2) ? c.versionPC[i] : 0); break;
    case dispid::VersionProgram: i2(in(0, 2) ? c.versionProgram[i] : 0); break;
    case dispid::VersionCard: i2(in(0, 2) ? c.versionCard[i] : 0); break;
    case dispid::UpDateSetting: i2(in(0, 2) ? dateField(c.upDateSetting, i) : 0); break;
    case dispid::UpDateSchedule: i2(in(0, 2) ? dateField(c.upDateSchedule, i) : 0); break;
    case dispid::PatternName:
        out = Variant::bstr(in(1, 20) ? text::fromCp932(c.patternName[i - 1]) : std::string());
        break;
    case dispid::MessageTime: out = Variant::i4(in(1, 24) ? static_cast<std::int32_t>(c.messageTime[i - 1]) : 0); break;
    case dispid::MessageName:
        out = Variant::bstr(in(1, 24) ? text::fromCp932(c.messageName[i - 1]) : std::string());
        break;
    case dispid::PatternSet: out = Variant::boolean(in(1, 20) && c.patternSet[i - 1]); break;
    case dispid::MessageAnsRec: out = Variant::boolean(in(1, 9) && c.messageAnsRec[i - 1]); break;
    case dispid::MsgRecTime: out = Variant::i4(in(1, 24) ? static_cast<std::int32_t>(c.msgRecTime[i - 1]) : 0); break;
    default: return com::MemberNotFound;
    }
    return com::Ok;
}

// A new instance starts from cleared playback figures (a playback another instance runs
// goes on).
CardControl::CardControl(FaceEnvironment environment, std::unique_ptr<FaceView> view)
    : impl_(std::make_unique<Impl>(*this, std::move(environment), std::move(view))) {
    rdxResetPlayback();
    ++instances;
}

// The last instance to go ends a playback: no worker runs on and no device stays open once
// the control is gone. The other instance (the about box) going leaves it playing.
CardControl::~CardControl() {
    *impl_->alive = false;
    impl_->stopTimer(kModeTimer);
    impl_->stopTimer(kPollTimer);
    if (--instances == 0) wavCardPlayEnd();
    impl_->closeMonitors();
    siteInstance(this, nullptr);
}

com::HResult CardControl::invoke(com::DispId id, com::Invoke kind, std::span<com::Variant> args,
                                 com::Variant* result) noexcept {
    try {
        Variant local;
        Variant& out = result ? *result : local;
        if (id >= dispid::Enabled && id <= dispid::StandbyMonitor) {
            if (kind == com::Invoke::PropertyPut) return impl_->put(id, args);
            if (!args.empty()) return com::BadParamCount;
            return impl_->get(id, out);
        }
        if (kind == com::Invoke::PropertyPut) return com::MemberNotFound;
        if (id >= dispid::ReadCardData && id <= dispid::GetCardError) return impl_->method(id, args, out);
        if (id >= dispid::VersionPC && id <= dispid::MsgRecTime) return impl_->indexed(id, args, out);
        if (id == dispid::AboutBox) {
            if (!args.empty()) return com::BadParamCount;
            if (impl_->view) impl_->view->showAbout(aboutTexts());
            return com::Ok;
        }
        return com::MemberNotFound;
    } catch (const std::bad_alloc&) {
        return com::OutOfMemory;
    } catch (...) {
        return com::ExceptionOccurred;
    }
}

com::HResult CardControl::idOfName(std::string_view name, com::DispId& id) const noexcept {
    for (const auto& entry : kNames) {
        if (sameName(entry.name, name)) {
            id = entry.id;
            return com::Ok;
        }
    }
    return com::UnknownName;
}

void CardControl::setSite(com::HostSite* site) noexcept {
    if (impl_->site && impl_->site != site) {
        impl_->site->killTimer(kModeTimer);
        impl_->site->killTimer(kPollTimer);
    }
    impl_->site = site;
    siteInstance(this, site);
}

void CardControl::onTimer(unsigned id) noexcept {
    try {
        if (id == kModeTimer && !impl_->inModeTick) {
            impl_->inModeTick = true;
            impl_->modeTick();
            impl_->inModeTick = false;
        } else if (id == kPollTimer) {
            impl_->pollTick();
        }
    } catch (...) {
        impl_->inModeTick = false;
    }
}

void CardControl::advise(com::EventSink* sink) noexcept {
    try {
        if (sink && std::find(impl_->sinks.begin(), impl_->sinks.end(), sink) == impl_->sinks.end())
            impl_->sinks.push_back(sink);
    } catch (...) {
    }
}

void CardControl::unadvise(com::EventSink* sink) noexcept {
    std::erase(impl_->sinks, sink);
}

AboutTexts CardControl::aboutTexts() const {
    const DriverIdentity driver = findDriver(impl_->env.programFolder);
    return {myName(), myVersion(), driver.name, driver.version};
}

}  // namespace control
