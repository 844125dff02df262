#pragma once
// Card error numbers: the result of every card method and the value of the card status.
#include <string_view>

namespace control::cardError {

inline constexpr int Done = 0;
inline constexpr int NoResponse = 100;        // a pipe could not be opened or closed
inline constexpr int NoCard = 101;
inline constexpr int OtherKind = 102;         // a sibling card (LNC, MQT)
inline constexpr int Broken = 103;            // a typed block or the journal is missing
inline constexpr int Unrecognised = 104;
inline constexpr int WriteRefused = 105;
inline constexpr int ReadFailed = 106;
inline constexpr int NoFreeBlock = 107;
inline constexpr int RepairFailed = 108;
inline constexpr int EraseFailed = 109;
inline constexpr int SumError = 110;
inline constexpr int Unformatted = 111;
inline constexpr int NoDriver = 112;
inline constexpr int NoFreeAfterErase = 113;
inline constexpr int NoFreeWhileWriting = 114;
inline constexpr int SendFailed = 150;
inline constexpr int ReceiveFailed = 151;
inline constexpr int CommandRefused = 152;
inline constexpr int ReplyTimeout = 155;
inline constexpr int DataTimeout = 156;
inline constexpr int WriteReplyTimeout = 157;
inline constexpr int NoFileName = 200;
inline constexpr int BadChannel = 201;
inline constexpr int BadBlockType = 202;
inline constexpr int FileOpen = 300;
inline constexpr int FileMissing = 301;
inline constexpr int FileRead = 302;
inline constexpr int FileWrite = 303;
inline constexpr int FileExtension = 304;
inline constexpr int FileCreate = 305;
inline constexpr int FileFormat = 306;
inline constexpr int FileClose = 307;
inline constexpr int NoMessage = 400;
inline constexpr int NoSuchBlock = 500;
inline constexpr int FileVersion = 600;
inline constexpr int CardVersion = 601;
inline constexpr int HeaderSum = 602;
inline constexpr int SettingsSum = 604;
inline constexpr int PatternsSum = 605;
inline constexpr int CalendarSum = 606;
inline constexpr int NamesSum = 607;
inline constexpr int JournalSet = 610;
inline constexpr int Busy = 700;              // + the action mode
inline constexpr int PlayFailed = 750;
inline constexpr int PlaySpeed = 751;

}  // namespace control::cardError

namespace control {

// The control's own text of a card error number. Numbers below 100 are wave-output codes whose
// text the wave-output system gives: for any number below 100 outside the table this
// returns an empty view.
std::string_view cardErrorText(int number);

}  // namespace control
