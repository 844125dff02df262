// A card pulled at every moment of every card operation. For each operation the commands
// are counted once; then, for every k, a fresh card with known content goes through the
// operation with the card pulled after k commands, is inserted again, checked, repaired
// where the check asks for it and decoded item by item. Each cut runs in its own child
// process, so that a crash is counted and named instead of ending the sweep.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "control/card_info.h"
#include "control/errors.h"
#include "control/methods.h"
#include "control/state.h"
#include "control/wave.h"
#include "emulator/fixtures.h"
#include "emulator_port.h"

namespace {

namespace fs = std::filesystem;
namespace fx = emulator::fixtures;

constexpr std::uint8_t kSmall = 0xA4;  // 128 blocks of 4 KiB
constexpr std::uint8_t kLarge = 0x73;  // 1024 blocks of 16 KiB

std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * seed + seed / 3 + 1);
    return bytes;
}

void writeFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// ---- the card as the layout describes it, decoded without the control ----

std::uint16_t word(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct Channel {
    std::uint16_t blocks = 0;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const Channel&) const = default;
};

struct Decoded {
    std::vector<std::uint8_t> versions;                       // header bytes 1184..1189
    std::map<std::uint8_t, std::vector<std::uint8_t>> typed;  // empty: blank
    std::vector<Channel> channels = std::vector<Channel>(25);
};

bool erased(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

bool blockErased(const emulator::Card& card, std::size_t block) {
    return card.blockData(block) == nullptr || erased(card.peek(block * card.blockBytes(), card.blockBytes()));
}

std::size_t typedBytes(std::uint8_t type) {
    switch (type) {
    case fx::kJournalBlock:
    case fx::kSettingsBlock: return 512;
    case fx::kDayPatternBlock: return 2048;
    default: return 4096;
    }
}

// The whole card as this system leaves it idle, or what is wrong with it.
std::optional<Decoded> decode(const emulator::Card& card, std::string& fault) {
    const std::size_t bb = card.blockBytes();
    const auto head = card.peek(0, 1536);
    if (std::string(head.begin(), head.begin() + 8) != "KV-M58S1") return fault = "header id", std::nullopt;
    if (fx::blockSum(std::span(head).first(1534)) != word(head, 1534)) return fault = "header sum", std::nullopt;
    const std::size_t length = std::min<std::size_t>(word(head, 8) + word(head, 10), 1024);
    std::map<std::uint8_t, std::vector<std::size_t>> where;
    for (std::size_t i = 1; i < length; ++i) where[head[160 + i]].push_back(i);
    if (head[160] != fx::kHeaderBlock) return fault = "map entry 0", std::nullopt;
    if (where[fx::kFreeBlock].size() != word(head, 12)) return fault = "free count", std::nullopt;
    if (where[fx::kBadBlock].size() != word(head, 14)) return fault = "bad count", std::nullopt;
    for (std::size_t b : where[fx::kFreeBlock])
        if (!blockErased(card, b)) return fault = "free block " + std::to_string(b) + " holds data", std::nullopt;
    Decoded d;
    d.versions.assign(head.begin() + 1184, head.begin() + 1190);
    for (std::uint8_t type : {fx::kJournalBlock, fx::kSettingsBlock, fx::kDayPatternBlock, fx::kCalendarBlock,
                              fx::kNamesBlock}) {
        if (where[type].size() != 1) return fault = "typed block count", std::nullopt;
        auto bytes = card.peek(where[type][0] * bb, typedBytes(type));
        if (type == fx::kJournalBlock) {
            if (!blockErased(card, where[type][0])) return fault = "journal not idle", std::nullopt;
            continue;
        }
        if (bytes[0] == 0xFF) bytes.clear();
        else if (fx::blockSum(std::span(bytes).first(bytes.size() - 2)) != word(bytes, bytes.size() - 2))
            return fault = "typed block sum", std::nullopt;
        d.typed[type] = bytes;
    }
    for (int ch = 1; ch <= 24; ++ch) {
        Channel& c = d.channels[static_cast<std::size_t>(ch)];
        c.blocks = word(head, 16 + 2 * static_cast<std::size_t>(ch - 1));
        c.length = static_cast<std::uint32_t>(word(head, 64 + 4 * static_cast<std::size_t>(ch - 1)) |
                                              word(head, 66 + 4 * static_cast<std::size_t>(ch - 1)) << 16);
        if (where[static_cast<std::uint8_t>(ch)].size() != c.blocks) return fault = "channel block count", std::nullopt;
        for (std::size_t b : where[static_cast<std::uint8_t>(ch)]) {
            const auto block = card.peek(b * bb, bb);
            c.data.insert(c.data.end(), block.begin(), block.end());
        }
    }
    return d;
}

// ---- the operations ----

struct Paths {
    fs::path dir;
    std::string at(const std::string& name) const { return (dir / name).string(); }
};

enum class Kind { Write, Read };

fx::Layout rich(std::uint8_t chip);
constexpr std::uint8_t kSmallChip = 0xA4;

using Prepare = std::function<void(emulator::Reader&, const Paths&)>;

struct Scenario {
    Scenario(std::string group, std::string name, std::function<std::shared_ptr<emulator::Card>()> card,
             std::function<int(const Paths&)> run, Kind kind = Kind::Write, int mayEmpty = 0, bool fromBlank = false,
             Prepare prepare = {})
        : group(std::move(group)), name(std::move(name)), card(std::move(card)), run(std::move(run)), kind(kind),
          mayEmpty(mayEmpty), fromBlank(fromBlank), prepare(std::move(prepare)) {}

    std::string group;  // the row of the table
    std::string name;
    std::function<std::shared_ptr<emulator::Card>()> card;
    std::function<int(const Paths&)> run;
    Kind kind;
    int mayEmpty;    // a channel that may be left empty (a replace without room for both)
    bool fromBlank;  // a blank card: cut early, it is still blank and takes a format
    // Run on the card before the cut is armed: an operation broken off, for a repair.
    Prepare prepare;
};

// Runs `operation` with the card pulled `fromEnd` commands before its end, and inserts the
// card again: what a pull while block 0 was being rewritten leaves.
Prepare brokenOff(std::function<int(const Paths&)> operation,
                                                                 int fromEnd) {
    return [operation, fromEnd](emulator::Reader& reader, const Paths& p) {
        auto card = reader.card();
        auto probe = fx::build(rich(kSmallChip));
        reader.insert(probe);
        reader.clearLog();
        operation(p);
        const auto commands = static_cast<int>(reader.log().size());
        reader.insert(card);
        reader.pullCardAfter(commands - fromEnd);
        operation(p);
        reader.insert(card);
    };
}

fx::Layout rich(std::uint8_t chip) {
    fx::Layout l;
    l.firstChip = chip;
    l.settings = pattern(510, 3);
    l.settings[44] = 1;
    l.dayPatterns = pattern(2046, 5);
    l.calendar = pattern(4094, 7);
    l.names = pattern(4094, 11);
    l.dataVersion = {1, 2, 3};
    const std::size_t bb = emulator::Card(chip).blockBytes();
    l.messages = {{1, pattern(2 * bb, 13)}, {2, pattern(bb + 100, 17)}, {3, pattern(3 * bb - 7, 19)},
                  {4, pattern(bb / 2, 23)}};
    return l;
}

std::function<std::shared_ptr<emulator::Card>()> richCard(std::uint8_t chip) {
    return [chip] { return fx::build(rich(chip)); };
}

// A small card with only a few blocks left free: no room for a message and its replacement.
std::shared_ptr<emulator::Card> crowdedCard() {
    auto l = rich(kSmall);
    l.messages.push_back({9, pattern(4096 * 110, 29)});
    return fx::build(l);
}

std::shared_ptr<emulator::Card> journalCard(std::uint8_t value) {
    auto l = rich(kSmall);
    l.journal = value;
    auto card = fx::build(l);
    if (value == 0) card->poke(20 * card->blockBytes(), pattern(4096, 31));  // a free block holding data
    return card;
}

// Channel 3's erase broken off after its first block.
std::shared_ptr<emulator::Card> channelEraseCard() {
    auto card = journalCard(3);
    std::string fault;
    const auto head = card->peek(0, 1536);
    for (std::size_t i = 1; i < 128; ++i)
        if (head[160 + i] == 3) {
            card->poke(i * card->blockBytes(), std::vector<std::uint8_t>(card->blockBytes(), 0xFF));
            break;
        }
    return card;
}

std::string cardDataFile(const Paths& p, std::array<std::uint8_t, 5> record) {
    std::vector<std::uint8_t> f(0x7000, 0);
    const std::string id = "KV-M58S1";
    std::copy(id.begin(), id.end(), f.begin());
    f[1187] = 1;
    f[1188] = 7;
    const auto settings = pattern(512, 37), days = pattern(2048, 41), cal = pattern(4096, 43), names = pattern(4096, 47);
    std::copy(settings.begin(), settings.end(), f.begin() + 0x2000);
    std::copy(days.begin(), days.end(), f.begin() + 0x3000);
    std::copy(cal.begin(), cal.end(), f.begin() + 0x4000);
    std::copy(names.begin(), names.end(), f.begin() + 0x5000);
    std::copy(record.begin(), record.end(), f.begin() + 0x6010 + 24);
    std::string name = "card";
    for (auto r : record) name += std::to_string(r);
    writeFile(p.dir / (name + ".crd"), f);
    return p.at(name + ".crd");
}

std::vector<std::uint8_t> waveFile(const std::vector<std::uint8_t>& data) {
    auto bytes = control::waveHeader(static_cast<std::uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() & 1) bytes.push_back(0);
    return bytes;
}

std::string firmwareFile(const Paths& p) {
    std::ostringstream text;
    const auto data = pattern(32, 53);
    for (std::uint32_t address = 0x10000; address < 0x10000 + 4096 + 64; address += 32) {
        std::vector<std::uint8_t> bytes = {36, static_cast<std::uint8_t>(address >> 16),
                                           static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
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
    std::ofstream(p.dir / "fw.hex") << text.str();
    return p.at("fw.hex");
}

control::NameField nameOf(const std::string& text) {
    control::NameField field{};
    std::copy_n(text.begin(), std::min(text.size(), field.size()), field.begin());
    return field;
}

// Sound files of the given length in blocks of the card.
std::string soundFile(const Paths& p, const std::string& ext, std::size_t bytes, unsigned seed) {
    const std::string name = "s" + std::to_string(bytes) + "_" + std::to_string(seed) + ext;
    const auto data = pattern(bytes, seed);
    writeFile(p.dir / name, ext == ".wav" ? waveFile(data) : data);
    return p.at(name);
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> s;
    const std::string cardData = "WriteCardData";
    for (auto record : {std::array<std::uint8_t, 5>{4, 4, 4, 6, 4}, std::array<std::uint8_t, 5>{2, 2, 4, 6, 4},
                        std::array<std::uint8_t, 5>{4, 0, 0, 0, 0}, std::array<std::uint8_t, 5>{0, 0, 4, 4, 4}}) {
        std::string name = "record";
        for (auto r : record) name += " " + std::to_string(r);
        s.push_back({cardData, name, richCard(kSmall), [record](const Paths& p) {
                         return control::WriteCardData(cardDataFile(p, record));
                     }});
    }
    for (std::uint8_t chip : {kSmall, kLarge}) {
        const std::size_t bb = emulator::Card(chip).blockBytes();
        const std::string size = chip == kSmall ? " 4 KiB" : " 16 KiB";
        s.push_back({"WriteMessage over a recorded channel", ".WAV" + size, richCard(chip), [bb](const Paths& p) {
                         return control::WriteMessage(2, soundFile(p, ".wav", 3 * bb + 5, 59));
                     }});
        s.push_back({"WriteMessage over a recorded channel", ".DAT" + size, richCard(chip), [bb](const Paths& p) {
                         return control::WriteMessage(3, soundFile(p, ".dat", bb + 9, 61));
                     }});
        s.push_back({"WriteMessage onto an empty channel", ".DAT" + size, richCard(chip), [bb](const Paths& p) {
                         return control::WriteMessage(5, soundFile(p, ".dat", 2 * bb + 1, 67));
                     }});
    }
    s.push_back({"WriteMessage over a recorded channel", ".DAT without room for both", crowdedCard,
                 [](const Paths& p) { return control::WriteMessage(3, soundFile(p, ".dat", 4 * 4096, 71)); },
                 Kind::Write, 3});
    s.push_back({"WriteMessage onto an empty channel", ".WAV 4 KiB", richCard(kSmall),
                 [](const Paths& p) { return control::WriteMessage(6, soundFile(p, ".wav", 4096 + 3, 73)); }});
    s.push_back({"WriteMessage .HEX (firmware)", "channel 24", richCard(kSmall),
                 [](const Paths& p) { return control::WriteMessage(24, firmwareFile(p)); }});
    s.push_back({"WriteMessage \"\" (erase a channel)", "channel 3", richCard(kSmall),
                 [](const Paths&) { return control::WriteMessage(3, ""); }});
    s.push_back({"ReplaceMessage", "two recorded", richCard(kSmall),
                 [](const Paths&) { return control::ReplaceMessage(1, 3); }});
    s.push_back({"ReplaceMessage", "one recorded, one empty", richCard(kSmall),
                 [](const Paths&) { return control::ReplaceMessage(2, 7); }});
    s.push_back({"WriteCardName, WriteMsgName", "card name", richCard(kSmall),
                 [](const Paths&) { return control::WriteCardName(nameOf("New card")); }});
    s.push_back({"WriteCardName, WriteMsgName", "message name", richCard(kSmall),
                 [](const Paths&) { return control::WriteMsgName(4, nameOf("Greeting")); }});
    s.push_back({"Format", "own card 4 KiB", richCard(kSmall), [](const Paths&) { return control::Format(); }});
    s.push_back({"Format", "own card 16 KiB", richCard(kLarge), [](const Paths&) { return control::Format(); }});
    s.push_back({"Format", "blank card 4 KiB", [] { return fx::blank(kSmall); },
                 [](const Paths&) { return control::Format(); }, Kind::Write, 0, true});
    s.push_back({"Repair(610)", "journal 0", [] { return journalCard(0); },
                 [](const Paths&) { return control::Repair(610); }});
    s.push_back({"Repair(610)", "journal 3", channelEraseCard, [](const Paths&) { return control::Repair(610); }});
    // The header caught half-written: after the commit of a message write, and in a format.
    s.push_back({"Repair(610)", "a message write committed, block 0 half-written", richCard(kSmall),
                 [](const Paths&) { return control::Repair(610); }, Kind::Write, 0, false,
                 brokenOff([](const Paths& p) { return control::WriteMessage(2, soundFile(p, ".dat", 3 * 4096, 83)); },
                           6)});
    s.push_back({"Repair(610)", "a format, block 0 half-written", richCard(kSmall),
                 [](const Paths&) { return control::Repair(610); }, Kind::Write, 0, false,
                 brokenOff([](const Paths&) { return control::Format(); }, 3)});
    s.push_back({"GetCardError, ReadCardInfo, ReadCardData", "GetCardError", richCard(kSmall),
                 [](const Paths&) { return control::GetCardError(); }, Kind::Read});
    s.push_back({"GetCardError, ReadCardInfo, ReadCardData", "ReadCardInfo", richCard(kSmall),
                 [](const Paths&) { return control::ReadCardInfo(); }, Kind::Read});
    s.push_back({"GetCardError, ReadCardInfo, ReadCardData", "ReadCardData", richCard(kSmall),
                 [](const Paths& p) { return control::ReadCardData(p.at("dump.crd")); }, Kind::Read});
    return s;
}

// What a read operation handed out: its result and its output.
std::string readOutput(const Scenario& s, const Paths& p) {
    std::ostringstream out;
    if (s.name == "ReadCardData") {
        const auto bytes = readFile(p.dir / "dump.crd");
        out << bytes.size() << ":" << std::accumulate(bytes.begin(), bytes.end(), 0ull,
                                                        [](unsigned long long a, std::uint8_t b) { return a * 131 + b; });
    } else if (s.name == "ReadCardInfo") {
        const auto info = control::cardInfo();
        out << info.freeBlocks << "/" << info.badBlocks << "/" << info.cardName << "/" << info.upDateSetting.year << "/"
            << info.upDateSchedule.day << "/" << info.recBoard;
        for (int i = 0; i < 24; ++i) out << "/" << info.msgRecTime[static_cast<std::size_t>(i)];
        for (const auto& n : info.messageName) out << "/" << n;
        for (const auto& n : info.patternName) out << "/" << n;
        for (bool set : info.patternSet) out << set;
    }
    return out.str();
}

// ---- one cut, in a child ----

struct Rig {
    Rig() {
        control_test::TestClock::install();
        reader = std::make_shared<emulator::Reader>();
        control::setReaderPort(std::make_unique<control_test::EmulatorPort>(reader));
        control::setActionMode(control::ModeStandby);
    }
    ~Rig() { control::setReaderPort(nullptr); }
    std::shared_ptr<emulator::Reader> reader;
};

struct Expected {
    Decoded before, after;
    int result = 0;
    std::string output;
    std::size_t commands = 0;
};

std::string compareItems(const Scenario& s, const Decoded& now, const Expected& e) {
    auto either = [](const auto& v, const auto& a, const auto& b) { return v == a || v == b; };
    if (!either(now.versions, e.before.versions, e.after.versions)) return "card versions";
    for (const auto& [type, bytes] : now.typed)
        if (!either(bytes, e.before.typed.at(type), e.after.typed.at(type)))
            return "typed block " + std::to_string(type);
    for (int ch = 1; ch <= 24; ++ch) {
        const auto& c = now.channels[static_cast<std::size_t>(ch)];
        if (either(c, e.before.channels[static_cast<std::size_t>(ch)], e.after.channels[static_cast<std::size_t>(ch)]))
            continue;
        if (ch == s.mayEmpty && c == Channel{}) continue;
        return "channel " + std::to_string(ch) + " (" + std::to_string(c.blocks) + " blocks)";
    }
    return {};
}

// The card takes a new message and gives it back.
std::string takesNewMessage(Rig& rig, const Paths& p) {
    const auto data = pattern(5000, 79);
    const fs::path file = p.dir / ("probe" + std::to_string(::getpid()) + ".dat");
    writeFile(file, data);
    const int written = control::WriteMessage(12, file.string());
    fs::remove(file);
    if (written != 0) return "new message refused: " + std::to_string(written);
    std::string fault;
    const auto d = decode(*rig.reader->card(), fault);
    if (!d) return "after a new message: " + fault;
    const auto& c = d->channels[12];
    if (c.data.size() < data.size() || !std::equal(data.begin(), data.end(), c.data.begin()))
        return "new message reads back wrong";
    return {};
}

std::string cutAt(const Scenario& s, const Paths& shared, const Expected& e, int k) {
    // Workers run side by side: each writes its files in a folder of its own.
    const Paths p{shared.dir / std::to_string(::getpid())};
    fs::create_directories(p.dir);
    Rig rig;
    auto card = s.card();
    rig.reader->insert(card);
    if (s.prepare) s.prepare(*rig.reader, p);
    rig.reader->pullCardAfter(k);
    const int result = s.run(p);
    const std::string output = s.kind == Kind::Read ? readOutput(s, p) : "";
    rig.reader->insert(card);
    if (s.kind == Kind::Read) {
        if (result == 0 && output != e.output) return "a cut read gave 0 with wrong data";
        if (result != 0 && result != control::cardError::NoCard && result != e.result)
            return "a cut read gave " + std::to_string(result);
    }
    int check = control::GetCardError();
    if (check == control::cardError::Unformatted && s.fromBlank) {
        if (const int f = control::Format()) return "a format after the cut gave " + std::to_string(f);
        check = control::GetCardError();
    }
    if (check != 0 && check != control::cardError::JournalSet) return "check gave " + std::to_string(check);
    if (check != 0) {
        if (const int r = control::Repair(check)) return "repair gave " + std::to_string(r);
        if (const int again = control::GetCardError()) return "check after repair gave " + std::to_string(again);
    }
    std::string fault;
    const auto now = decode(*card, fault);
    if (!now) return fault;
    if (auto wrong = compareItems(s, *now, e); !wrong.empty()) return wrong;
    return takesNewMessage(rig, p);
}

enum class Outcome { Survived, Failed, Crashed };

struct CutResult {
    int k = 0;
    Outcome outcome = Outcome::Crashed;
    std::string text;
};

// A child that runs cuts one after the other, each on a fresh card, reader and port, and
// reports each as a line "k code text". Forking once per cut costs more than the cut.
struct Worker {
    pid_t pid = -1;
    int fd = -1;
};

Worker startWorker(const Scenario& s, const Paths& p, const Expected& e, std::vector<int> cuts) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        for (int k : cuts) {
            const std::string wrong = cutAt(s, p, e, k);
            const std::string line = std::to_string(k) + " " + (wrong.empty() ? "0" : "3") + " " + wrong + "\n";
            if (::write(fds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(4);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// Collects a worker's lines; a cut it did not report ended the child: a crash.
void finishWorker(Worker w, std::vector<int>& cuts, std::vector<CutResult>& results, std::string& death) {
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(w.fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(w.fd);
    int status = 0;
    ::waitpid(w.pid, &status, 0);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        int k = 0, code = 0;
        in >> k >> code;
        std::string rest;
        std::getline(in, rest);
        results.push_back({k, code == 0 ? Outcome::Survived : Outcome::Failed, rest});
        cuts.erase(std::find(cuts.begin(), cuts.end(), k));
    }
    death.clear();
    if (WIFSIGNALED(status)) death = "signal " + std::to_string(WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) death = "exit " + std::to_string(WEXITSTATUS(status));
}

// Runs the cuts in three workers; a worker that dies is replaced from the cut after its last.
std::vector<CutResult> sweep(const Scenario& s, const Paths& p, const Expected& e) {
    constexpr int kWorkers = 3;
    std::vector<std::vector<int>> share(kWorkers);
    for (int k = 1; k <= static_cast<int>(e.commands); ++k) share[static_cast<std::size_t>(k % kWorkers)].push_back(k);
    std::vector<Worker> workers;
    for (const auto& cuts : share) workers.push_back(startWorker(s, p, e, cuts));
    std::vector<CutResult> results;
    for (std::size_t w = 0; w < workers.size(); ++w) {
        std::vector<int>& left = share[w];
        for (Worker worker = workers[w];;) {
            std::string death;
            finishWorker(worker, left, results, death);
            if (left.empty()) break;
            results.push_back({left.front(), Outcome::Crashed, death.empty() ? "no report" : death});
            left.erase(left.begin());
            if (left.empty()) break;
            worker = startWorker(s, p, e, left);
        }
    }
    std::sort(results.begin(), results.end(), [](const CutResult& a, const CutResult& b) { return a.k < b.k; });
    return results;
}

Expected uncut(const Scenario& s, const Paths& p) {
    Rig rig;
    Expected e;
    auto card = s.card();
    std::string fault;
    const auto before = s.prepare ? std::nullopt : decode(*card, fault);
    rig.reader->insert(card);
    if (s.prepare) s.prepare(*rig.reader, p);
    rig.reader->clearLog();
    e.result = s.run(p);
    e.commands = rig.reader->log().size();
    e.output = s.kind == Kind::Read ? readOutput(s, p) : "";
    e.after = decode(*card, fault).value_or(Decoded{});
    // A card that is not idle (blank, or a journal left set) has only the outcome to keep.
    e.before = before.value_or(e.after);
    return e;
}

TEST(CardCutSweep, EveryCutOfEveryOperationSurvives) {
    Paths p{fs::temp_directory_path() / ("kv_cut_sweep_" + std::to_string(::getpid()))};
    fs::create_directories(p.dir);
    struct Row {
        int cuts = 0, survived = 0, crashed = 0;
    };
    std::map<std::string, Row> table;
    std::vector<std::string> order;
    for (const Scenario& s : scenarios()) {
        const Expected e = uncut(s, p);
        ASSERT_TRUE(e.result == 0) << s.group << " / " << s.name << " fails uncut: " << e.result;
        if (!table.count(s.group)) order.push_back(s.group);
        Row& row = table[s.group];
        int shown = 0;
        for (const CutResult& r : sweep(s, p, e)) {
            ++row.cuts;
            if (r.outcome == Outcome::Survived) ++row.survived;
            if (r.outcome == Outcome::Crashed) ++row.crashed;
            if (r.outcome != Outcome::Survived && shown++ < 4)
                ADD_FAILURE() << s.group << " / " << s.name << ", pulled after " << r.k << " of " << e.commands
                              << " commands: " << (r.outcome == Outcome::Crashed ? "crashed, " : "") << r.text;
        }

    }
    fs::remove_all(p.dir);
    Row total;
    std::printf("| operation | cuts | survived | crashed |\n|---|---|---|---|\n");
    for (const auto& g : order) {
        const Row& r = table[g];
        std::printf("| %s | %d | %d | %d |\n", g.c_str(), r.cuts, r.survived, r.crashed);
        total.cuts += r.cuts;
        total.survived += r.survived;
        total.crashed += r.crashed;
    }
    std::printf("| total | %d | %d | %d |\n", total.cuts, total.survived, total.crashed);
    ::testing::Test::RecordProperty("cuts", total.cuts);
    ::testing::Test::RecordProperty("survived", total.survived);
    ::testing::Test::RecordProperty("crashed", total.crashed);
}

}  // namespace
