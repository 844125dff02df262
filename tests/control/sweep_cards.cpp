#include "sweep_cards.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>

#include "control/card_info.h"
#include "control/methods.h"
#include "card_files.h"
#include "emulator/fixtures.h"

namespace control_test::sweep {
namespace {

namespace fs = std::filesystem;
namespace fx = emulator::fixtures;

constexpr std::size_t kBlockSizes[] = {4096, 8192, 16384};

void firmwareFile(const fs::path& p) {
    std::ostringstream text;
    const auto data = pattern(32, 53);
    for (std::uint32_t address = 0x10000; address < 0x10000 + 4096 + 64; address += 32) {
        Bytes bytes = {36, static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
                       static_cast<std::uint8_t>(address)};
        bytes.insert(bytes.end(), data.begin(), data.end());
        bytes.push_back(static_cast<std::uint8_t>(~std::accumulate(bytes.begin(), bytes.end(), 0u)));
        text << "S2";
        for (std::uint8_t b : bytes) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", b);
            text << hex;
        }
        text << "\n";
    }
    text << "S804000000FB\n";
    std::ofstream(p) << text.str();
}

std::string sized(const std::string& name, std::size_t bb, const std::string& ext) {
    return name + std::to_string(bb) + ext;
}

// The saved message set the restore puts back: wave files and names by channel.
struct SavedSet {
    std::string cardName = "Saved";
    std::array<std::string, 13> names{};
    std::array<std::size_t, 13> waveBytes{};  // 0: no file
};

SavedSet savedSet(std::size_t bb) {
    SavedSet s;
    s.names[1] = "Uno";
    s.names[2] = "Dos";
    s.names[5] = "Cinco";
    s.waveBytes[1] = bb;
    s.waveBytes[2] = 2 * bb;
    s.waveBytes[5] = bb - 100;
    return s;
}

// The restore of a saved message set, call by call as the card window makes them: the card
// name, then every recorded channel and every name erased, then the files and names written.
std::vector<Call> restoreCalls(const control::CardInfo& info, std::size_t bb) {
    const SavedSet set = savedSet(bb);
    std::vector<Call> calls;
    calls.push_back([set](const Files&) { return control::WriteCardName(nameOf(set.cardName)); });
    for (int ch = 1; ch <= 12; ++ch) {
        const auto at = static_cast<std::size_t>(ch - 1);
        if (info.messageTime[at] >= 1) calls.push_back([ch](const Files&) { return control::WriteMessage(ch, ""); });
        if (!info.messageName[at].empty())
            calls.push_back([ch](const Files&) { return control::WriteMsgName(ch, nameOf("")); });
    }
    for (int ch = 1; ch <= 12; ++ch) {
        const auto at = static_cast<std::size_t>(ch);
        if (set.waveBytes[at] > 0)
            calls.push_back([ch, bb](const Files& f) {
                return control::WriteMessage(ch, f.at("set" + std::to_string(bb) + "_" + std::to_string(ch) + ".wav"));
            });
        if (!set.names[at].empty())
            calls.push_back([ch, name = set.names[at]](const Files&) { return control::WriteMsgName(ch, nameOf(name)); });
    }
    return calls;
}

Operation one(std::string name, Call call, Output output = Output::None) {
    Operation op;
    op.name = std::move(name);
    op.calls = {std::move(call)};
    op.output = output;
    return op;
}

// The card in use with `operation` broken off where `at` picks a command of its own run:
// what a pull at that moment leaves for the repair.
using Pick = std::function<int(const std::vector<emulator::LoggedCommand>&)>;
std::function<std::shared_ptr<emulator::Card>(emulator::Reader&, const Files&)> brokenOff(
    std::shared_ptr<emulator::Card> proto, Call operation, Pick at) {
    return [proto, operation, at](emulator::Reader& reader, const Files& files) {
        auto probe = clone(*proto);
        reader.insert(probe);
        reader.clearLog();
        operation(files);
        const int k = at(reader.log());
        auto card = clone(*proto);
        reader.insert(card);
        reader.pullCardAfter(k);
        operation(files);
        reader.insert(card);
        reader.clearFaults();
        return card;
    };
}

int afterErasing(std::uint16_t block, const std::vector<emulator::LoggedCommand>& log) {
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i].command == 0x01 && log[i].block == block) return static_cast<int>(i) + 1;
    return static_cast<int>(log.size());
}

// The card in use, and the card in use after `operation`.
std::function<std::vector<std::shared_ptr<emulator::Card>>(emulator::Reader&, const Files&)> oldAndNew(
    std::shared_ptr<emulator::Card> proto, Call operation) {
    return [proto, operation](emulator::Reader& reader, const Files& files) {
        auto done = clone(*proto);
        reader.insert(done);
        operation(files);
        return std::vector<std::shared_ptr<emulator::Card>>{clone(*proto), done};
    };
}

// A journal of the older kind, left at `value`, on the card in use.
std::function<std::shared_ptr<emulator::Card>(emulator::Reader&, const Files&)> olderJournal(
    std::shared_ptr<emulator::Card> proto, std::uint8_t value) {
    return [proto, value](emulator::Reader&, const Files&) {
        auto card = clone(*proto);
        const auto head = card->peek(0, 1536);
        const std::size_t bb = card->blockBytes();
        card->poke(1 * bb, Bytes{value});
        for (std::size_t i = 6; i < 1024; ++i) {
            const std::uint8_t entry = head[160 + i];
            if (value == 0 && entry == fx::kFreeBlock) {
                card->poke(i * bb, pattern(bb, 31));  // a free block that holds data
                break;
            }
            if (value != 0 && entry == value) {
                card->poke(i * bb, Bytes(bb, 0xFF));  // the erase got past the first block
                break;
            }
        }
        return card;
    };
}

}  // namespace

// Full cards where the blocks kept for a change matter: below, at and above what each keeps
// (three blocks of 4 KiB, one of 8 KiB, none of 16 KiB).
const std::vector<CardKind>& cardKinds() {
    static const std::vector<CardKind> kinds = {
        {"4 KiB blocks", 0xA4, emulator::kNoChip, {std::nullopt, 0, 1, 2}},
        {"8 KiB blocks", 0xE3, emulator::kNoChip, {std::nullopt, 0, 1, 2}},
        {"16 KiB blocks", 0x73, emulator::kNoChip, {std::nullopt, 0, 2}},
        {"two chips", 0xA4, 0xA4, {std::nullopt, 0}},
    };
    return kinds;
}

std::vector<Fill> fillsOf(const CardKind& kind) {
    std::vector<Fill> out;
    for (const auto& spare : kind.fills)
        out.push_back({spare ? "full, " + std::to_string(*spare) + " free" : "room to spare", spare});
    return out;
}

std::shared_ptr<emulator::Card> cardInUse(const CardKind& kind, const Fill& fill) {
    return control_test::cardInUse(kind.first, kind.second, fill.spare);
}

void makeFiles(const Files& f) {
    fs::create_directories(f.dir);
    writeCardDataFile(f.dir / "card.crd", {4, 4, 4, 6, 4});
    writeCardDataFile(f.dir / "clear.crd", {2, 2, 4, 6, 4});
    firmwareFile(f.dir / "fw.hex");
    for (std::size_t bb : kBlockSizes) {
        writeFile(f.dir / sized("over", bb, ".wav"), waveFile(pattern(2 * bb - 5, 59)));
        writeFile(f.dir / sized("new", bb, ".dat"), pattern(2 * bb + 1, 67));
        const SavedSet set = savedSet(bb);
        for (std::size_t ch = 1; ch <= 12; ++ch)
            if (set.waveBytes[ch] > 0)
                writeFile(f.dir / ("set" + std::to_string(bb) + "_" + std::to_string(ch) + ".wav"),
                          waveFile(pattern(set.waveBytes[ch], static_cast<unsigned>(70 + ch))));
    }
}

std::vector<Operation> operationsFor(const CardKind& kind, const Fill& fill, const control::CardInfo& info) {
    const std::size_t bb = emulator::Card(kind.first).blockBytes();
    std::vector<Operation> ops;
    ops.push_back(one("WriteCardData", [](const Files& f) { return control::WriteCardData(f.at("card.crd")); }));
    ops.push_back(one("WriteCardFile", [](const Files& f) { return control::WriteCardFile(f.at("card.crd")); }));
    ops.push_back(one("WriteCardName", [](const Files&) { return control::WriteCardName(nameOf("New card")); }));
    if (!fill.spare || *fill.spare == 0)
        ops.push_back(one("WriteMsgName", [](const Files&) { return control::WriteMsgName(4, nameOf("Greeting")); }));
    ops.push_back(one("ReplaceMessage", [](const Files&) { return control::ReplaceMessage(1, 3); }));
    Operation over = one("WriteMessage .WAV over a recorded channel",
                         [bb](const Files& f) { return control::WriteMessage(2, f.at(sized("over", bb, ".wav"))); });
    over.mayEmpty = 2;
    ops.push_back(over);
    if (fill.spare.value_or(0) > 0) return ops;
    Operation restore;
    restore.name = "message-set restore";
    restore.calls = restoreCalls(info, bb);
    ops.push_back(restore);
    ops.push_back(one("Format", [](const Files&) { return control::Format(); }));
    if (fill.spare || kind.second != emulator::kNoChip) return ops;

    ops.push_back(one("WriteMessage .DAT onto an empty channel",
                      [bb](const Files& f) { return control::WriteMessage(5, f.at(sized("new", bb, ".dat"))); }));
    ops.push_back(one("WriteMessage .HEX", [](const Files& f) { return control::WriteMessage(24, f.at("fw.hex")); }));
    ops.push_back(one("WriteMessage \"\" (erase)", [](const Files&) { return control::WriteMessage(3, ""); }));
    ops.push_back(one("ReplaceMessage with an empty channel", [](const Files&) { return control::ReplaceMessage(2, 7); }));
    ops.push_back(one("WriteCardData clearing", [](const Files& f) { return control::WriteCardData(f.at("clear.crd")); }));
    ops.push_back(one("GetCardError", [](const Files&) { return control::GetCardError(); }));
    ops.push_back(one("ReadCardInfo", [](const Files&) { return control::ReadCardInfo(); }, Output::CardInfo));
    ops.push_back(one("ReadCardData", [](const Files& f) { return control::ReadCardData(f.at("dump.crd")); },
                      Output::CardData));
    ops.push_back(one("ReadMessage .WAV", [](const Files& f) { return control::ReadMessage(3, f.at("read.wav")); },
                      Output::Message));

    const auto proto = cardInUse(kind, fill);
    const auto repair = [](const Files&) { return control::Repair(610); };
    Operation r = one("Repair(610): older journal 0", repair);
    r.card = olderJournal(proto, 0);
    ops.push_back(r);
    r.name = "Repair(610): older journal 3";
    r.card = olderJournal(proto, 3);
    ops.push_back(r);
    r.accepted = [proto](emulator::Reader&, const Files&) {
        return std::vector<std::shared_ptr<emulator::Card>>{clone(*proto)};
    };
    const std::pair<std::string, Call> cutShort[] = {
        {"a message write", [bb](const Files& f) { return control::WriteMessage(5, f.at(sized("new", bb, ".dat"))); }},
        {"WriteCardData", [](const Files& f) { return control::WriteCardData(f.at("card.crd")); }},
        {"a format", [](const Files&) { return control::Format(); }},
    };
    for (const auto& [what, call] : cutShort) {
        r.name = "Repair(610): " + what + " cut in block 0";
        r.card = brokenOff(proto, call, [](const auto& log) { return afterErasing(0, log); });
        r.accepted = oldAndNew(proto, call);
        ops.push_back(r);
    }
    Operation overSet = one("Format over a set journal", [](const Files&) { return control::Format(); });
    overSet.card = olderJournal(proto, 0);
    overSet.accepted = [proto](emulator::Reader&, const Files&) {
        return std::vector<std::shared_ptr<emulator::Card>>{clone(*proto)};
    };
    ops.push_back(overSet);
    Operation blank = one("Format of a blank card", [](const Files&) { return control::Format(); });
    blank.fromBlank = true;
    blank.card = [kind](emulator::Reader&, const Files&) { return fx::blank(kind.first, kind.second); };
    ops.push_back(blank);
    return ops;
}

std::string outputOf(Output output, const Files& f) {
    std::ostringstream out;
    const auto digest = [](const Bytes& b) {
        return std::to_string(b.size()) + ":" +
               std::to_string(std::accumulate(b.begin(), b.end(), 0ull,
                                              [](unsigned long long a, std::uint8_t x) { return a * 131 + x; }));
    };
    switch (output) {
    case Output::None: break;
    case Output::CardData: out << digest(readFile(f.dir / "dump.crd")); break;
    case Output::Message: out << digest(readFile(f.dir / "read.wav")); break;
    case Output::CardInfo: {
        const auto info = control::cardInfo();
        out << info.freeBlocks << "/" << info.badBlocks << "/" << info.cardName << "/" << info.upDateSetting.year << "/"
            << info.upDateSchedule.day << "/" << info.recBoard << "/" << info.cardRemain;
        for (long t : info.msgRecTime) out << "/" << t;
        for (const auto& n : info.messageName) out << "/" << n;
        for (const auto& n : info.patternName) out << "/" << n;
        for (bool set : info.patternSet) out << set;
        break;
    }
    }
    return out.str();
}

}  // namespace control_test::sweep
