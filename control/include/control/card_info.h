#pragma once
// The card-information cache behind the control's properties and indexed getters, and the
// transfers of whole typed blocks between the card and a card data file.
#include <array>
#include <cstdint>
#include <string>

namespace control {

// A date kept on the card: BCD year (of the century), month and day, decoded.
struct CardDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct CardInfo {
    long blockMs = 0;        // milliseconds of sound an erase block holds
    long totalBlocks = 0;
    long freeBlocks = 0;
    long badBlocks = 0;
    long cardTime = 0;       // ms, all usable blocks
    long cardRemain = 0;     // ms, free blocks
    long cardSize = 0;       // s, nominal, at most 1800
    std::array<long, 24> channelBlocks{};
    std::array<long, 24> messageTime{};  // ms
    std::array<long, 24> msgRecTime{};   // ms
    std::array<int, 3> versionCard{};
    std::array<int, 3> versionPC{};
    std::array<int, 3> versionProgram{};
    CardDate upDateSetting;
    CardDate upDateSchedule;
    bool recBoard = false;
    bool busyCircuit = false;
    std::array<bool, 20> patternSet{};
    std::array<bool, 9> messageAnsRec{};
    // Names as the card holds them (Shift-JIS bytes), after the name rule.
    std::string cardName;
    std::array<std::string, 24> messageName;
    std::array<std::string, 20> patternName;
};

// A copy of the cache as the last ReadCardInfo left it.
CardInfo cardInfo();

// A BCD byte of the card: 0x9A or more gives 0.
int decodeBcd(std::uint8_t value);
// A 20-byte name field: 0xFF counts as 0, the name ends at the first 0, trailing blanks go.
std::string nameFromField(const std::uint8_t* field);

// The workers (they return card error numbers; the methods wrap them with the busy rule).
int rdxReadCardInfo();
int rdxReadCardData(const std::string& fileName);
int rdxWriteCardData(const std::string& fileName);
int rdxWriteCardFile(const std::string& fileName);
// The channel's recorded length in milliseconds, or 0 on any error.
long rdxMessageLength(int channel);

}  // namespace control
