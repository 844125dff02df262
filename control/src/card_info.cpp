#include "control/card_info.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "card_file.h"
#include "control/card.h"
#include "control/errors.h"
#include "control/link.h"
#include "control/message.h"
#include "journal.h"

namespace control {
namespace {

using namespace cardError;

std::mutex cacheMutex;
CardInfo cache;

void storeCache(const CardInfo& info) {
    std::lock_guard lock(cacheMutex);
    cache = info;
}

bool isBlank(const std::vector<std::uint8_t>& block) { return !block.empty() && block[0] == 0xFF; }

CardDate dateFrom(const std::uint8_t* bcd) { return {decodeBcd(bcd[0]), decodeBcd(bcd[1]), decodeBcd(bcd[2])}; }

void fillFromHeader(const CardHeader& h, std::size_t blockBytes, CardInfo& info) {
    info.blockMs = static_cast<long>(blockBytes / 8);
    info.totalBlocks = h.blocksFirstChip() + h.blocksSecondChip();
    info.freeBlocks = h.freeBlocks();
    info.badBlocks = h.badBlocks();
    // The blocks kept for the copies of a change take no recording.
    const auto kept = static_cast<long>(rdxKeptBlocks());
    info.cardTime = std::max(0L, info.totalBlocks - info.badBlocks - 6 - kept) * info.blockMs;
    info.cardRemain = std::max(0L, info.freeBlocks - kept) * info.blockMs;
    const long nominal = 60 * static_cast<long>(static_cast<std::uint64_t>(info.totalBlocks) * blockBytes / 524288);
    info.cardSize = std::min(1800L, nominal);
    for (int ch = 1; ch <= kChannels; ++ch) {
        info.channelBlocks[ch - 1] = h.channelBlocks(ch);
        info.messageTime[ch - 1] = h.channelBlocks(ch) * info.blockMs;
        info.msgRecTime[ch - 1] = static_cast<long>(h.channelLength(ch)) * 2;
    }
    for (int i = 0; i < 3; ++i) {
        info.versionCard[i] = h.bytes[kCardVersionOffset + i];
        info.versionPC[i] = h.bytes[kDataVersionOffset + i];
    }
}

void fillFromSettings(const std::vector<std::uint8_t>& s, CardInfo& info) {
    info.upDateSetting = dateFrom(&s[45]);
    if (info.upDateSetting.year == 0 && info.upDateSetting.month == 0 && info.upDateSetting.day == 0)
        info.upDateSetting = {2, 1, 1};
    info.recBoard = s[286] == 1;
    info.busyCircuit = s[287] == 1;
}

void fillFromPatterns(const std::vector<std::uint8_t>& d, CardInfo& info) {
    for (std::size_t p = 0; p < info.patternSet.size(); ++p) {
        const std::uint8_t* record = &d[p * 78];
        info.patternSet[p] = (record[0] >= 1 && record[0] <= 9) || (record[0] == 0 && record[3] <= 9);
    }
}

void fillFromCalendar(const std::vector<std::uint8_t>& c, CardInfo& info) {
    info.upDateSchedule = dateFrom(&c[3661]);
    for (std::size_t ch = 0; ch < info.messageAnsRec.size(); ++ch) info.messageAnsRec[ch] = c[3664 + ch] == 1;
}

void fillFromNames(const std::vector<std::uint8_t>& n, CardInfo& info) {
    info.cardName = nameFromField(&n[0]);
    for (std::size_t ch = 0; ch < info.messageName.size(); ++ch) info.messageName[ch] = nameFromField(&n[256 + 20 * ch]);
    for (std::size_t p = 0; p < info.patternName.size(); ++p) info.patternName[p] = nameFromField(&n[512 + 20 * p]);
}

int readInfo(CardInfo& info) {
    CardSnapshot card;
    if (const int e = rdxCheckCard(card)) return e;
    fillFromHeader(card.header, card.blockBytes, info);

    using Fill = void (*)(const std::vector<std::uint8_t>&, CardInfo&);
    const std::pair<std::uint8_t, Fill> blocks[] = {{kBlockSettings, fillFromSettings},
                                                     {kBlockPatterns, fillFromPatterns},
                                                     {kBlockCalendar, fillFromCalendar},
                                                     {kBlockNames, fillFromNames}};
    for (const auto& [type, fill] : blocks)
        if (!isBlank(card.typed[type])) fill(card.typed[type], info);
    if (card.header.channelBlocks(kFirmwareChannel) > 0) {
        std::vector<std::uint8_t> first(card.blockBytes);
        std::size_t bytes = 0;
        if (const int e = rdxMessageBlock(kFirmwareChannel, 1, first, bytes)) return e;
        for (int i = 0; i < 3; ++i) info.versionProgram[i] = first[i];
    }
    // What was read stands only when the card was still there after the last read.
    return rdxConfirmCard();
}

// The card's settings block as a merge starts from it: a blank block counts as zeros.
std::vector<std::uint8_t> settingsForMerge(std::vector<std::uint8_t> card) {
    if (std::all_of(card.begin(), card.begin() + 8, [](std::uint8_t b) { return b == 0xFF; }))
        std::fill(card.begin(), card.end(), 0);
    return card;
}

int mergedSettings(CardFile& file, const CardSnapshot& card, std::vector<TypedUpdate>& updates) {
    std::vector<std::uint8_t> fromFile(512);
    if (!file.readAt(0x2000, fromFile)) return FileRead;
    const auto current = settingsForMerge(card.typed.at(kBlockSettings));
    std::vector<std::uint8_t> merged(512, 0);
    std::copy_n(fromFile.begin(), 48, merged.begin());
    merged[286] = current[286] & fromFile[286];
    merged[287] = current[287] & fromFile[287];
    updates.push_back({kBlockSettings, merged});
    return Done;
}

int blockFromFile(CardFile& file, long offset, std::uint8_t type, int readError, std::vector<TypedUpdate>& updates) {
    std::vector<std::uint8_t> block(typedBlockBytes(type));
    if (!file.readAt(offset, block)) return readError;
    updates.push_back({type, block});
    return Done;
}

int namesFromFile(CardFile& file, const std::uint8_t* record, const CardSnapshot& card,
                  std::vector<TypedUpdate>& updates) {
    std::vector<std::uint8_t> fromFile(4096);
    if (!file.readAt(0x5000, fromFile)) return FileRead;
    std::vector<std::uint8_t> names = card.typed.at(kBlockNames);
    auto take = [&](std::size_t from, std::size_t count) {
        std::copy_n(fromFile.begin() + static_cast<long>(from), count, names.begin() + static_cast<long>(from));
    };
    if (record[26] != 0) take(0, 20);
    if (record[27] != 0) take(256, record[27] == 6 ? 240 : 180);
    if (record[28] != 0) take(512, 400);
    if (record[25] == 2)
        std::fill(names.begin() + 1024, names.begin() + 1576, 0xFF);
    else if (record[25] != 0)
        take(1024, 552);
    updates.push_back({kBlockNames, names});
    return Done;
}

// Leaves out what the card already holds: a block rewritten with its own bytes, a blank
// block erased again.
std::vector<TypedUpdate> changesOnly(const CardSnapshot& card, std::vector<TypedUpdate> updates) {
    std::vector<TypedUpdate> changed;
    for (TypedUpdate& u : updates) {
        const auto& current = card.typed.at(u.type);
        if (u.content.empty()) {
            if (!std::all_of(current.begin(), current.end(), [](std::uint8_t b) { return b == 0xFF; }))
                changed.push_back(std::move(u));
            continue;
        }
        std::vector<std::uint8_t> withSum = u.content;
        storeBlockSum(withSum);
        if (withSum != current) changed.push_back(std::move(u));
    }
    return changed;
}

int commitToCard(const CardSnapshot& card, CardHeader& next, std::vector<TypedUpdate> updates) {
    CardChange change(card.header, rdxFindJournal(card.header, card.header.mapLength()));
    return change.commit(next, changesOnly(card, std::move(updates)), {});
}

int writeCardData(CardFile& file, const CardSnapshot& card) {
    std::vector<std::uint8_t> head(kHeaderBytes);
    if (!file.readAt(0, head)) return FileRead;
    if (std::string_view(reinterpret_cast<const char*>(head.data()), 8) != kModelId) return FileFormat;
    if (head[kDataVersionOffset] > 1) return FileVersion;
    std::array<std::uint8_t, 29> record{};
    if (!file.readAt(0x6010, record)) return FileRead;

    CardHeader next = card.header;
    if (record[24] != 0 || record[25] != 0) {
        const int cardVersion = cardInfo().versionCard[0];
        if (cardVersion != 0 && cardVersion < head[kDataVersionOffset]) return CardVersion;
        std::copy_n(head.begin() + kDataVersionOffset, 3, next.bytes.begin() + kDataVersionOffset);
    }
    std::vector<TypedUpdate> updates;
    if (record[24] == 2) {
        updates.push_back({kBlockSettings, {}});
    } else if (record[24] != 0) {
        if (const int e = mergedSettings(file, card, updates)) return e;
    }
    if (record[25] == 2) {
        updates.push_back({kBlockPatterns, {}});
        updates.push_back({kBlockCalendar, {}});
    } else if (record[25] != 0) {
        if (const int e = blockFromFile(file, 0x3000, kBlockPatterns, FileRead, updates)) return e;
        if (const int e = blockFromFile(file, 0x4000, kBlockCalendar, FileRead, updates)) return e;
    }
    if (record[25] != 0 || record[26] != 0 || record[27] != 0 || record[28] != 0)
        if (const int e = namesFromFile(file, record.data(), card, updates)) return e;
    return commitToCard(card, next, std::move(updates));
}

int writeCardFile(CardFile& file, const CardSnapshot& card) {
    std::vector<std::uint8_t> head(kHeaderBytes);
    if (!file.readAt(0, head)) return WriteRefused;
    // Only a whole image of our own goes to the card: a half-built one would make the card
    // a kind that no repair undoes.
    if (std::string_view(reinterpret_cast<const char*>(head.data()), 8) != kModelId) return FileFormat;
    if (head[kDataVersionOffset] > 1) return FileVersion;
    CardHeader next = card.header;
    std::copy_n(head.begin(), 8, next.bytes.begin());
    std::copy_n(head.begin() + kCardVersionOffset, 6, next.bytes.begin() + kCardVersionOffset);

    // The journal of the card's own messages stays idle, whatever the file holds.
    std::vector<TypedUpdate> updates;
    std::vector<std::uint8_t> settings(512);
    if (!file.readAt(0x2000, settings)) return WriteRefused;
    if (settings[44] == 1) {
        std::vector<std::uint8_t> merged = card.typed.at(kBlockSettings);
        std::copy_n(settings.begin(), 48, merged.begin());
        updates.push_back({kBlockSettings, merged});
    }
    if (const int e = blockFromFile(file, 0x3000, kBlockPatterns, WriteRefused, updates)) return e;
    if (const int e = blockFromFile(file, 0x4000, kBlockCalendar, WriteRefused, updates)) return e;
    if (const int e = blockFromFile(file, 0x5000, kBlockNames, WriteRefused, updates)) return e;
    return commitToCard(card, next, std::move(updates));
}

int dumpCard(CardFile& file, const CardSnapshot& card) {
    if (!file.writeAt(0, std::vector<std::uint8_t>(0x7000, 0))) return ReadFailed;
    if (!file.writeAt(0x0000, card.header.bytes) || !file.writeAt(0x1000, card.journal)) return ReadFailed;
    const std::pair<std::uint8_t, long> blocks[] = {
        {kBlockSettings, 0x2000}, {kBlockPatterns, 0x3000}, {kBlockCalendar, 0x4000}, {kBlockNames, 0x5000}};
    for (const auto& [type, offset] : blocks)
        if (!file.writeAt(offset, card.typed.at(type))) return ReadFailed;
    const auto size = static_cast<std::uint32_t>(card.blockBytes);
    const std::uint8_t sizeBytes[4] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                       static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
    return file.writeAt(0x6000, sizeBytes) ? Done : ReadFailed;
}

}  // namespace

CardInfo cardInfo() {
    std::lock_guard lock(cacheMutex);
    return cache;
}

int decodeBcd(std::uint8_t value) {
    if (value >= 0x9A) return 0;
    if (value < 10) return value;
    return (value >> 4) * 10 + (value & 0x0F);
}

std::string nameFromField(const std::uint8_t* field) {
    std::string name;
    for (std::size_t i = 0; i < kNameBytes && field[i] != 0 && field[i] != 0xFF; ++i)
        name.push_back(static_cast<char>(field[i]));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

int rdxReadCardInfo() {
    LinkSession session;
    storeCache({});
    CardInfo info;
    const int e = readInfo(info);
    // What was read before a failure stays readable, as the getters always answered.
    storeCache(info);
    return e;
}

int rdxReadCardData(const std::string& fileName) {
    LinkSession session;
    CardSnapshot card;
    if (const int e = rdxCheckCard(card)) return e;
    CardFile file(fileName, "wb");
    if (!file.valid()) return ReadFailed;
    int e = dumpCard(file, card);
    // The dump stands only when the card was still there after the last read.
    if (e == Done) e = rdxConfirmCard();
    const bool closed = file.close();
    return e != Done ? e : closed ? Done : ReadFailed;
}

int rdxWriteCardData(const std::string& fileName) {
    LinkSession session;
    CardSnapshot card;
    if (const int e = rdxCheckCard(card)) return e;
    CardFile file(fileName, "rb");
    if (!file.valid()) return FileOpen;
    return writeCardData(file, card);
}

int rdxWriteCardFile(const std::string& fileName) {
    LinkSession session;
    CardSnapshot card;
    if (const int e = rdxCheckCard(card)) return e;
    CardFile file(fileName, "rb");
    if (!file.valid()) return WriteRefused;
    return writeCardFile(file, card);
}

long rdxMessageLength(int channel) {
    if (channel < 1 || channel > kChannels) return 0;
    LinkSession session;
    CardHeader header;
    if (rdxIdentifyCard(header) != Done || header.kind() != KindOwn) return 0;
    return static_cast<long>(header.channelLength(channel)) * 2;
}

}  // namespace control
