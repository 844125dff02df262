// Writes the seed inputs of every harness with the system's own writers: the card image
// builder, the document file writer, the wave header, the name list, and the control's own
// conversation with an emulated reader. Usage: fuzz_make_corpus <corpus folder>.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "card/card_data.h"
#include "card/message_set.h"
#include "control/methods.h"
#include "control/reader_port.h"
#include "control/state.h"
#include "control/wave.h"
#include "core/database.h"
#include "core/file_header.h"
#include "core/globals.h"
#include "emulator/fixtures.h"
#include "emulator/reader.h"
#include "support/cards.h"
#include "support/program.h"
#include "support/session.h"
#include "scripted_port.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

fs::path corpus;

void put(const std::string& harness, const std::string& name, const Bytes& bytes) {
    fs::create_directories(corpus / harness);
    std::ofstream out(corpus / harness / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void put(const std::string& harness, const std::string& name, const std::string& text) {
    put(harness, name, Bytes(text.begin(), text.end()));
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The document file of a database file, header and file code as the program writes them.
Bytes documentFile(const std::string& database) {
    const std::string kvp = fuzz::programFile("doc.kvp");
    {
        std::ofstream out(kvp, std::ios::binary | std::ios::trunc);
        gsbWriteFileHeader(out);
        out << std::string(kHeaderSize - kHeaderWrittenBytes, '\0');
        const Bytes body = readFile(database);
        out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
    }
    gsbSetFileCode(kvp);
    return readFile(kvp);
}

// Documents a user may open that are damaged, that hold what the windows index by and no
// window writes, or that hold unusual values the windows take.
void damagedDocuments(const Bytes& whole) {
    put("document_load", "damaged-half.kvp", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2)));
    Bytes overwritten = whole;
    std::fill(overwritten.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + 4096), overwritten.end(), 'q');
    put("document_load", "damaged-overwritten.kvp", overwritten);

    const std::string step = "INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES ";
    const std::pair<const char*, std::vector<std::string>> variants[] = {
        {"step-closing-message.kvp", {step + "(1, 9, 0, 11)"}},
        {"step-hold-tone-on-holidays.kvp", {step + "(8, 9, 0, 12)"}},
        {"special-day-february-30.kvp",
         {"INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (2027, 2, 30, 9)"}},
        {"no-day-pattern-5.kvp", {"DELETE FROM tblDayPattern WHERE fldNo = 5"}},
        {"unusual-values.kvp",
         {step + "(1, 99, 75, 3)", step + "(30, 9, 0, 1)", "UPDATE tblBase SET fldPattern = 40 WHERE fldWeek = 2",
          "INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (2027, 1, 5, 40)",
          "INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday) VALUES (13, 99, 'x', 7, 40)",
          "UPDATE tblSetting SET fldValue = 'abc' WHERE fldNo = 3", "UPDATE tblMessage SET fldComment = NULL"}},
    };
    for (const auto& [name, sql] : variants) {
        const std::string database = fuzz::programFile("Variant.dat");
        createDocumentFromMaster(database);
        {
            dao::Database db = dao::Database::open(database);
            for (const std::string& statement : sql) db.execute(statement);
        }
        put("document_load", name, documentFile(database));
    }
}

// The card image and the document file of a new document.
void documents() {
    fuzz::useProgramFolder();
    fuzz::openNewDocument();
    gdbWork.execute("UPDATE tblMessage SET fldComment = '受付 ﾒｯｾｰｼﾞ' WHERE fldCh = 1");
    gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (2, 9, 30, 1)");
    card::WriteModeRecord record{};
    card::msbGetWriteMode(record);
    for (std::size_t i = card::kRecordSettings; i < record.size(); ++i) record[i] = 4;
    const std::string image = fuzz::programFile("CardData.crd");
    if (!card::mfnfMakeCardData(image, record, {})) throw std::runtime_error("no card image");
    put("card_image", "document.crd", readFile(image));
    put("card_parser", "document.crd", readFile(image));
    put("document_check", "document.crd", readFile(image));

    gsbCloseDatabase(gdbWork);
    const Bytes kvp = documentFile(fuzz::programFile(kRegistDat));
    put("document_check", "document.kvp", kvp);
    put("document_load", "document.kvp", kvp);
    damagedDocuments(kvp);
}

Bytes wave(std::size_t samples) {
    Bytes bytes = control::waveHeader(static_cast<std::uint32_t>(samples));
    for (std::size_t i = 0; i < samples; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 37 + 0x7F));
    if (samples & 1) bytes.push_back(0);
    return bytes;
}

void waves() {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{300}}) {
        const std::string name = "mulaw-" + std::to_string(n) + ".wav";
        put("riff", name, wave(n));
        put("wave_check", name, wave(n));
    }
}

std::string srecord(char type, std::uint32_t address, const Bytes& data) {
    Bytes bytes = {static_cast<std::uint8_t>(data.size() + 4), static_cast<std::uint8_t>(address >> 16),
                   static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(static_cast<std::uint8_t>(~std::accumulate(bytes.begin(), bytes.end(), 0u)));
    std::string line = {'S', type};
    for (std::uint8_t b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\r\n";
}

std::string firmwareFile() {
    const Bytes id = {1, 2, 3, 'V', 'e', 'l', 't', 'r', 'o', 'n'};
    const Bytes model = {'K', 'V', '-', 'M', '5', '8', 'S'};
    return srecord('0', 0, {'f', 'w'}) + srecord('2', 0x00F000, {0x11}) + srecord('2', 0x010000, id) +
           srecord('2', 0x010020, Bytes(16, 0xA5)) + srecord('2', 0x01FF00, model) + srecord('8', 0x010000, {});
}

void firmware() { put("srecord", "firmware.hex", firmwareFile()); }

void nameList() {
    card::NameList list;
    list.cardName = "受付カード";
    for (int ch = 1; ch <= 12; ++ch) list.names[static_cast<std::size_t>(ch - 1)] = "ﾒｯｾｰｼﾞ " + std::to_string(ch);
    const std::string path = (fuzz::scratch() / "Msg.txt").string();
    if (!card::writeNameList(path, list)) throw std::runtime_error("no name list");
    put("name_list", "Msg.txt", readFile(path));
}

// The emulated reader, with what passes both ways kept: the reader's transfers in the
// replay form of reader_replies, and the host's writes and reads as emulator_packets ops.
class RecordingPort final : public control::ReaderPort {
public:
    explicit RecordingPort(std::shared_ptr<emulator::Reader> reader) : reader_(std::move(reader)) {}
    bool find() override { return true; }
    bool open() override { return true; }
    bool close() override { return true; }
    long write(std::span<const std::uint8_t> data) override {
        if (data.size() < 256) {
            ops.push_back(0);
            ops.push_back(static_cast<std::uint8_t>(data.size()));
            ops.insert(ops.end(), data.begin(), data.end());
        }
        return static_cast<long>(reader_->write(data));
    }
    long read(std::span<std::uint8_t> out, unsigned timeoutMs) override {
        ops.push_back(out.size() >= 4096 ? 0x81 : out.size() >= 512 ? 0x41 : 0x01);
        const auto got = reader_->read(out);
        if (!got) {
            control_test::TestClock::now() += timeoutMs;
            replies.push_back(0xFF);
            replies.push_back(0xFF);
            return -1;
        }
        replies.push_back(static_cast<std::uint8_t>(*got & 0xFF));
        replies.push_back(static_cast<std::uint8_t>(*got >> 8));
        replies.insert(replies.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(*got));
        return static_cast<long>(*got);
    }
    Bytes replies, ops;

private:
    std::shared_ptr<emulator::Reader> reader_;
};

void conversation() {
    control_test::TestClock::install();
    auto reader = std::make_shared<emulator::Reader>();
    reader->insert(emulator::fixtures::withMessages({{1, Bytes(700, 0x55)}}));
    auto port = std::make_unique<RecordingPort>(reader);
    RecordingPort& recorded = *port;
    control::setReaderPort(std::move(port));
    control::setActionMode(control::ModeStandby);
    control::GetCardError();
    control::ReadCardInfo();
    control::ReadCardData((fuzz::scratch() / "Read.crd").string());
    control::ReadMessage(1, (fuzz::scratch() / "Read.wav").string());
    put("reader_replies", "formatted-card-with-message.bin", recorded.replies);
    put("emulator_packets", "status-info-data-message.bin", recorded.ops);
    control::setReaderPort(nullptr);
}

// write_message: a card, a channel, a file and two reader faults, then the file's bytes
// (fuzz/write_message.cpp). Waves of many blocks carry their header and let the harness
// add the samples.
struct MessageSeed {
    const char* name;
    std::uint8_t card, channel, file;
    std::array<std::uint8_t, 4> faults;
    Bytes payload;
};

constexpr std::uint8_t kWav = 0, kDat = 1, kHex = 2, kErase = 3;
constexpr std::uint8_t kPull = 1, kFailErase = 2, kRefuseData = 3, kBusy = 5, kStrayReply = 6, kSilence = 8,
                       kNck = 9, kRefuseAfterData = 14, kSilentAfterData = 15;
// The command a reply fault waits for: its index in any, erase, read, write, status,
// whole-block read, whole-block write, times four.
constexpr std::uint8_t kOnWrite = 3 * 4, kOnBlockWrite = 6 * 4;

// A wave header for `units` of 2048 samples, which the harness adds.
std::uint8_t longWave(Bytes& payload, std::uint8_t units) {
    payload = control::waveHeader(units * 2048u);
    return static_cast<std::uint8_t>(kWav | units << 2);
}

void messageSeeds() {
    using fuzz::Fill;
    const std::uint8_t small = 0, sixteenK = 5;  // chip indexes: 4 KiB and 16 KiB blocks
    const std::string hex = firmwareFile();
    std::vector<MessageSeed> seeds = {
        {"formatted-small-wave", fuzz::cardByte(sixteenK, false, Fill::Formatted, 0), 2, kWav, {}, wave(300)},
        {"in-use-replace-three-blocks", fuzz::cardByte(small, false, Fill::InUse, 0), 1, 0, {}, {}},
        {"in-use-16k-replace", fuzz::cardByte(sixteenK, false, Fill::InUse, 0), 1, 0, {}, {}},
        {"two-chips-new-channel", fuzz::cardByte(small, true, Fill::InUse, 0), 5, 0, {}, {}},
        {"firmware-channel-24", fuzz::cardByte(small, false, Fill::InUse, 0), 23, kHex, {}, Bytes(hex.begin(), hex.end())},
        {"raw-data-file", fuzz::cardByte(small, false, Fill::InUse, 0), 6, kDat | 3 << 2, {}, Bytes(100, 0x5A)},
        {"erase-recorded-channel", fuzz::cardByte(small, false, Fill::InUse, 0), 0, kErase, {}, {}},
        {"full-no-room", fuzz::cardByte(small, false, Fill::Full, 1), 12, 0, {}, {}},
        {"full-release-first", fuzz::cardByte(small, false, Fill::Full, 2), 2, 0, {}, {}},
        {"full-runs-out-while-writing", fuzz::cardByte(small, false, Fill::Full, 1), 12, 0, {kRefuseData, 127}, {}},
        {"pulled-mid-write", fuzz::cardByte(small, false, Fill::InUse, 0), 1, 0, {kPull, 12}, {}},
        {"old-block-will-not-erase", fuzz::cardByte(small, false, Fill::InUse, 0), 0, kWav, {kFailErase, 6}, wave(700)},
        {"busy-then-nck", fuzz::cardByte(small, false, Fill::InUse, 0), 1, 0, {kBusy, kOnWrite, kNck, kOnBlockWrite}, {}},
        {"stray-and-silent-replies", fuzz::cardByte(small, false, Fill::InUse, 0), 4, 0, {kStrayReply, 1, kSilence, kOnWrite}, {}},
        {"data-refused-then-silent", fuzz::cardByte(small, false, Fill::InUse, 0), 4, 0,
         {kRefuseAfterData, kOnBlockWrite, kSilentAfterData, kOnBlockWrite + 1}, {}},
        {"change-broken-off", fuzz::cardByte(small, false, Fill::BrokenOff, 2), 3, kWav, {}, wave(300)},
    };
    // Channel 2 of a card in use holds three blocks; these waves are longer.
    const std::uint8_t units[] = {0, 5, 9, 4, 0, 0, 0, 6, 7, 1, 5, 0, 3, 3, 3, 0};
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        MessageSeed& seed = seeds[i];
        if (units[i]) seed.file = longWave(seed.payload, units[i]);
        Bytes input = {seed.card, seed.channel, seed.file, seed.faults[0], seed.faults[1], seed.faults[2], seed.faults[3]};
        input.insert(input.end(), seed.payload.begin(), seed.payload.end());
        put("write_message", std::string(seed.name) + ".bin", input);
    }
}

// reader_replies: a card record, then the emulated reader's answers, or its answers as the
// control saw them, with faults between (fuzz/reader_replies.cpp).
Bytes record(std::uint16_t kind, std::uint8_t a, std::uint8_t b) {
    return {static_cast<std::uint8_t>(kind), static_cast<std::uint8_t>(kind >> 8), a, b};
}

Bytes emulatedReads(std::uint16_t count) { return record(0xFFFE, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)); }

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The control's session against an emulated reader, with the reader's side kept.
Bytes recordedSession(std::uint8_t card, std::uint8_t session, std::uint8_t faultKind, std::uint8_t faultParam) {
    auto reader = std::make_shared<emulator::Reader>();
    reader->insert(fuzz::makeCard(card));
    fuzz::applyFault(*reader, faultKind, faultParam);
    auto port = std::make_unique<RecordingPort>(reader);
    RecordingPort& recorded = *port;
    control::setReaderPort(std::move(port));
    fuzz::runCardSession(session);
    Bytes out = join({record(0xFFFC, card, session), recorded.replies});
    control::setReaderPort(nullptr);
    return out;
}

void replySeeds() {
    using fuzz::Fill;
    const std::uint8_t inUse = fuzz::cardByte(0, false, Fill::InUse, 0);
    const std::uint8_t repair = 1, asData = 2, write = 0x80;
    auto channel = [](int ch) { return static_cast<std::uint8_t>((ch - 1) << 2); };
    const Bytes all = emulatedReads(0xFFFF);
    put("reader_replies", "in-use-card-emulated.bin",
        join({record(0xFFFC, inUse, static_cast<std::uint8_t>(repair | channel(2) | write)), all}));
    put("reader_replies", "in-use-16k-firmware-emulated.bin",
        join({record(0xFFFC, fuzz::cardByte(5, false, Fill::InUse, 0), static_cast<std::uint8_t>(asData | channel(24))), all}));
    put("reader_replies", "two-chips-emulated.bin", join({record(0xFFFC, fuzz::cardByte(0, true, Fill::InUse, 0), 0), all}));
    put("reader_replies", "full-card-write-emulated.bin",
        join({record(0xFFFC, fuzz::cardByte(0, false, Fill::Full, 0), static_cast<std::uint8_t>(channel(13) | write)), all}));
    put("reader_replies", "change-broken-off-repaired-emulated.bin",
        join({record(0xFFFC, fuzz::cardByte(0, false, Fill::BrokenOff, 0), repair), all}));
    // A card in use takes about 25 commands to check, 30 to read its information and 30 its data.
    put("reader_replies", "pulled-during-card-data-emulated.bin", join({record(0xFFFC, inUse, 0), record(0xFFFD, 1, 70), all}));
    put("reader_replies", "pulled-during-write-emulated.bin",
        join({record(0xFFFC, inUse, static_cast<std::uint8_t>(channel(2) | write)), record(0xFFFD, 1, 105), all}));
    put("reader_replies", "busy-and-stray-emulated.bin",
        join({record(0xFFFC, inUse, 0), emulatedReads(4), record(0xFFFD, 5, 0), emulatedReads(6), record(0xFFFD, 6, 8), all}));
    put("reader_replies", "in-use-card-recorded.bin", recordedSession(inUse, static_cast<std::uint8_t>(repair | channel(2)), 0, 0));
    put("reader_replies", "pulled-mid-message-recorded.bin",
        recordedSession(inUse, static_cast<std::uint8_t>(channel(2) | write), 1, 92));
}

void texts() {
    const char* criteria[] = {
        "fldYear = 2027",
        "fldName Like '元*' And fldUse",
        "[fldDate] = #1/1/2027# Or Not fldUse",
        "fldMonth Mod 2 = 1 And fldRate < 0",
        "fldName & \"x\" = 'Kenpo''s dayx'",
        "fldName Is Null",
    };
    int n = 0;
    for (const char* c : criteria) put("criteria", "criteria-" + std::to_string(++n) + ".txt", std::string(c));
    const std::string runtime[] = {
        std::string("2027/1/1 9:05:30\0yyyy/mm/dd hh:nn:ss", 36),
        std::string("1,234.5\0#,##0.00", 16),
        std::string("&H1A\0000", 6),
        std::string(" -1.5e3x\0@@@@@@", 15),
        std::string("令和９年１月１日\0ddd", 28),
        std::string("12:30\0hh:nn", 11),
    };
    n = 0;
    for (const auto& t : runtime) put("runtime_text", "text-" + std::to_string(++n) + ".bin", t);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_corpus <corpus folder>\n");
        return 2;
    }
    corpus = argv[1];
    try {
        documents();
        waves();
        firmware();
        nameList();
        conversation();
        messageSeeds();
        replySeeds();
        texts();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_make_corpus: %s\n", e.what());
        return 1;
    }
    return 0;
}
