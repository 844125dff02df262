#pragma once
// The card window's view of the card reader/writer control: its members by dispatch id,
// called late-bound through com. A window without a control (the class could not be
// created) still runs: every card method then answers 112, the card error "no driver".
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com/dispatch.h"

class QWidget;
namespace com {
class QtHostSite;
}

namespace card {

// The class name the control registers.
inline constexpr const char* kControlClass = "Card_KVM58";

// Dispatch ids of the control's members and events.
namespace dispid {
enum : com::DispId {
    Enabled = 1, UpDateInterval = 2, CardName = 3, AutoRead = 4, CardSize = 5, CardRemain = 6,
    RecBoard = 7, BusyCircuit = 8, CardExists = 9, ActionMode = 10, Position = 11, Length = 12,
    CheckCard = 13, CheckInterval = 14, CardTime = 15, CardStatus = 20, StandbyMonitor = 22,
    ReadCardData = 23, StopMessage = 24, Format = 25, ReplaceMessage = 26, WriteCardData = 27,
    ReadCardInfo = 28, ReadMessage = 29, WriteMessage = 30, WriteMsgName = 31, ByteToTime = 32,
    PlayMessage = 33, PauseMessage = 34, WriteCardFile = 35, Repair = 36, WriteCardName = 37,
    GetCardError = 38, VersionPC = 39, VersionProgram = 40, VersionCard = 41, UpDateSetting = 42,
    UpDateSchedule = 43, PatternName = 44, MessageTime = 45, MessageName = 46, ErrorMessage = 47,
    PatternSet = 48, MessageAnsRec = 49, MsgRecTime = 50, AboutBox = -552,
};
}  // namespace dispid
namespace eventid {
enum : com::DispId { StatusChange = 1, PositionChange = 2, ModeChange = 3 };
}

// Card error numbers the window itself tests for.
inline constexpr std::int32_t kCardOk = 0;
inline constexpr std::int32_t kNoCard = 101;
inline constexpr std::int32_t kNoFreeBlock = 107;
inline constexpr std::int32_t kNotFormatted = 111;
inline constexpr std::int32_t kNoDriver = 112;

class CardCtl {
public:
    // Sites the control (timers and pump through `siteParent`'s thread) and advises `sink`.
    CardCtl(std::unique_ptr<com::Control> control, com::EventSink* sink);
    ~CardCtl();
    CardCtl(const CardCtl&) = delete;
    CardCtl& operator=(const CardCtl&) = delete;

    bool present() const { return control_ != nullptr; }
    // The control's own window placed in `parent`, when it offers one.
    QWidget* createWindow(QWidget* parent);
    com::Control* control() const { return control_.get(); }

    // Properties.
    bool getBool(com::DispId id);
    std::int32_t getLong(com::DispId id);
    std::string getString(com::DispId id);
    void putBool(com::DispId id, bool value);
    void putLong(com::DispId id, std::int32_t value);

    // A method returning a card error number; kNoDriver when there is no control or the
    // call itself failed.
    std::int32_t method(com::DispId id, std::vector<com::Variant> args = {});
    // Indexed getters (16-bit index); 0, false or "" when the call fails.
    std::int32_t indexedLong(com::DispId id, int index);
    bool indexedBool(com::DispId id, int index);
    std::string indexedString(com::DispId id, int index);

    // The members by name, as the window calls them.
    void setEnabled(bool on) { putBool(dispid::Enabled, on); }
    bool enabled() { return getBool(dispid::Enabled); }
    void setCheckCard(bool on) { putBool(dispid::CheckCard, on); }
    bool checkCard() { return getBool(dispid::CheckCard); }
    std::int32_t CardStatus() { return present() ? getLong(dispid::CardStatus) : kNoDriver; }
    std::int32_t GetCardError() { return method(dispid::GetCardError); }
    std::int32_t ReadCardInfo() { return method(dispid::ReadCardInfo); }
    std::int32_t ReadCardData(const std::string& file);
    std::int32_t WriteCardData(const std::string& file);
    std::int32_t ReadMessage(int ch, const std::string& file);
    std::int32_t WriteMessage(int ch, const std::string& file);
    std::int32_t Format() { return method(dispid::Format); }
    std::int32_t Repair(std::int32_t error);
    std::int32_t StopMessage() { return method(dispid::StopMessage); }
    std::string ErrorMessage(std::int32_t error);
    std::int32_t MessageTime(int ch) { return indexedLong(dispid::MessageTime, ch); }
    std::int32_t ActionMode() { return getLong(dispid::ActionMode); }
    void AboutBox();

private:
    std::unique_ptr<com::Control> control_;
    std::unique_ptr<com::QtHostSite> site_;
    com::EventSink* sink_;
};

}  // namespace card
